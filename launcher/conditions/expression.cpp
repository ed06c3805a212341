#include "expression.h"

#include <algorithm>
#include <array>
#include <stdexcept>

#include "../shared/text_template.h"
#include "char_class.h"

namespace Tevrian::Expression {
namespace {

constexpr std::wstring_view kOperatorCharacters = L"=!><()+-*/";

bool IsOperatorCharacter(wchar_t c) { return kOperatorCharacters.find(c) != std::wstring_view::npos; }
bool IsAsciiDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

wchar_t FoldAscii(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

TokenKind ClassifyOperatorRun(std::wstring_view run) {
  struct Entry {
    std::wstring_view text;
    TokenKind kind;
  };
  static constexpr std::array<Entry, 12> kOperators{{
      {L"==", TokenKind::Equal},
      {L"!=", TokenKind::NotEqual},
      {L">=", TokenKind::GreaterEqual},
      {L">", TokenKind::Greater},
      {L"<=", TokenKind::LessEqual},
      {L"<", TokenKind::Less},
      {L"(", TokenKind::LeftParen},
      {L")", TokenKind::RightParen},
      {L"+", TokenKind::Plus},
      {L"-", TokenKind::Minus},
      {L"*", TokenKind::Multiply},
      {L"/", TokenKind::Divide},
  }};
  for (const auto& entry : kOperators) {
    if (entry.text == run) return entry.kind;
  }
  return TokenKind::Symbol;
}

TokenKind KeywordKind(std::wstring_view word) {
  if (EqualsIgnoreAsciiCase(word, L"AND")) return TokenKind::And;
  if (EqualsIgnoreAsciiCase(word, L"OR")) return TokenKind::Or;
  if (EqualsIgnoreAsciiCase(word, L"NOT")) return TokenKind::Not;
  return TokenKind::None;
}

class Tokenizer {
 public:
  Tokenizer(std::wstring_view text, std::vector<std::size_t>* positions) : m_text(text), m_positions(positions) {}

  TokenList Run() {
    for (;;) {
      while (m_pos < m_text.size() && CharClass::IsBlank(m_text[m_pos])) ++m_pos;
      if (m_pos >= m_text.size()) break;
      m_start = m_pos;
      const wchar_t c = m_text[m_pos];
      if (c == L'v' && m_pos + 1 < m_text.size() && IsAsciiDigit(m_text[m_pos + 1])) {
        Push(Token::Version(ParseVersion(m_text, m_pos)));
      } else if (CharClass::IsLetter(c) || StartsSupplementaryCharacter()) {
        // A character beyond the Basic Multilingual Plane (a surrogate pair) is part of a word,
        // like any letter: skipping it would leave a lone "=" to swallow the next assignment.
        ReadWord();
      } else if (c == L'"') {
        ReadQuoted();
      } else if (CharClass::IsDigit(c)) {
        ReadInteger();
      } else if (IsOperatorCharacter(c)) {
        ReadOperatorRun();
      } else if (CharClass::IsPunctuation(c)) {
        // Other punctuation becomes a one-character Symbol, so that "/?" reads as a switch.
        Push(Token::Text(TokenKind::Symbol, std::wstring(1, c)));
        ++m_pos;
      } else {
        // Control characters, unpaired surrogates and the like carry no meaning: skip them. The
        // next word is then no longer the value of a "=" before them, so that "=" cannot take a
        // neighbouring assignment as its text.
        ++m_pos;
        m_separated = true;
      }
    }
    return std::move(m_tokens);
  }

 private:
  void Push(Token token) {
    m_tokens.push_back(std::move(token));
    if (m_positions) m_positions->push_back(m_start);
    m_separated = false;
  }

  bool StartsSupplementaryCharacter() const {
    return IsHighSurrogate(m_text[m_pos]) && m_pos + 1 < m_text.size() && IsLowSurrogate(m_text[m_pos + 1]);
  }

  // The word after the assignment sign is the value of NAME=value, read as text. Other symbol
  // runs, such as "((" or the "?" of "/?", leave the next word a name.
  bool AfterAssignmentSign() const {
    return !m_separated && !m_tokens.empty() && m_tokens.back().kind == TokenKind::Symbol &&
           m_tokens.back().TextValue() == L"=";
  }

  void ReadWord() {
    std::size_t end = m_pos;
    TokenKind kind = TokenKind::Property;
    if (AfterAssignmentSign()) {
      // Everything up to the next blank, operator characters included.
      while (end < m_text.size() && !CharClass::IsBlank(m_text[end])) ++end;
      kind = TokenKind::String;
    } else {
      while (end < m_text.size() && !CharClass::IsBlank(m_text[end]) && !IsOperatorCharacter(m_text[end])) ++end;
    }
    const std::wstring_view word = m_text.substr(m_pos, end - m_pos);
    m_pos = end;
    if (const TokenKind keyword = KeywordKind(word); keyword != TokenKind::None) {
      Push(Token::Operator(keyword));
    } else {
      Push(Token::Text(kind, std::wstring(word)));
    }
  }

  void ReadQuoted() {
    const std::size_t start = m_pos + 1;
    std::size_t close = start;
    while (close < m_text.size() && !(m_text[close] == L'"' && m_text[close - 1] != L'\\')) ++close;
    // An unclosed literal takes the rest of the text: a command line such as
    // NAME="C:\Program Files\ still gives the user the value typed.
    Push(Token::Text(TokenKind::String, std::wstring(m_text.substr(start, close - start))));
    m_pos = close < m_text.size() ? close + 1 : close;
  }

  void ReadInteger() {
    std::size_t end = m_pos;
    while (end < m_text.size() && CharClass::IsDigit(m_text[end])) ++end;
    const std::wstring digits(m_text.substr(m_pos, end - m_pos));
    int value = 0;
    try {
      value = std::stoi(digits, nullptr, 10);
    } catch (const std::out_of_range&) {
      throw IntegerOutOfRange(m_pos);
    } catch (const std::invalid_argument&) {
      throw InvalidInteger(m_pos);
    }
    m_pos = end;
    Push(Token::Integer(static_cast<std::int32_t>(value)));
  }

  void ReadOperatorRun() {
    std::size_t end = m_pos;
    while (end < m_text.size() && IsOperatorCharacter(m_text[end])) ++end;
    const std::wstring_view run = m_text.substr(m_pos, end - m_pos);
    m_pos = end;
    const TokenKind kind = ClassifyOperatorRun(run);
    if (kind == TokenKind::Symbol) {
      Push(Token::Text(TokenKind::Symbol, std::wstring(run)));
    } else {
      Push(Token::Operator(kind));
    }
  }

  std::wstring_view m_text;
  std::vector<std::size_t>* m_positions;
  std::size_t m_pos = 0;
  std::size_t m_start = 0;  // where the token being read began
  bool m_separated = false;
  TokenList m_tokens;
};

// One rule per level of the grammar in the header. Each result carries the depth of its subtree,
// so that a tree too deep to evaluate is refused while it is built; the parenthesis nesting is
// bounded the same way, since it is the recursion of the parser itself.
class Parser {
 public:
  Parser(const TokenList& tokens, const std::vector<std::size_t>& positions, std::size_t textLength)
      : m_tokens(tokens), m_positions(positions), m_textLength(textLength) {}

  ParsedCondition Run() {
    ParsedCondition parsed;
    parsed.root = Level(0).node;
    parsed.missingOperandAt = m_missingAt;
    parsed.consumed = m_pos;
    return parsed;
  }

 private:
  struct Parsed {
    ExpressionNodePtr node;
    int depth = 0;
  };

  Parsed Level(int level) {
    if (level == 3) return Unary();
    Parsed left = Level(level + 1);
    while (AtLevel(level)) {
      const std::size_t at = m_pos;
      Token op = m_tokens[m_pos++];
      Parsed right = Level(level + 1);
      left = Node(std::move(op), std::move(left), std::move(right), at);
    }
    return left;
  }

  Parsed Node(Token op, Parsed left, Parsed right, std::size_t at) {
    const int depth = 1 + std::max(left.depth, right.depth);
    if (depth > kMaxConditionDepth) TooDeep(at);
    return {std::make_shared<const ExpressionNode>(
                ExpressionNode{std::move(op), std::move(left.node), std::move(right.node)}),
            depth};
  }

  [[noreturn]] void TooDeep(std::size_t tokenIndex) const {
    throw ConditionError(FormatText(L"the condition nests deeper than {0} levels {1}", kMaxConditionDepth,
                                    WhereInCondition(PositionOf(tokenIndex), m_textLength)));
  }

  std::size_t PositionOf(std::size_t tokenIndex) const {
    return tokenIndex < m_positions.size() ? m_positions[tokenIndex] : m_textLength;
  }

  Parsed Missing() {
    if (m_missingAt == std::wstring_view::npos) m_missingAt = PositionOf(m_pos);
    return {};
  }

  bool AtEnd() const { return m_pos >= m_tokens.size(); }

  bool AtLevel(int level) const {
    if (AtEnd()) return false;
    switch (m_tokens[m_pos].kind) {
      case TokenKind::And:
      case TokenKind::Or:
        return level == 0;
      case TokenKind::Equal:
      case TokenKind::NotEqual:
        return level == 1;
      case TokenKind::GreaterEqual:
      case TokenKind::Greater:
      case TokenKind::LessEqual:
      case TokenKind::Less:
        return level == 2;
      default:
        return false;
    }
  }

  Parsed Unary() {
    if (AtEnd()) return Missing();
    if (m_tokens[m_pos].kind == TokenKind::Not) {
      const std::size_t at = m_pos;
      Token op = m_tokens[m_pos++];
      return Node(std::move(op), {}, Operand(), at);
    }
    return Operand();
  }

  Parsed Operand() {
    if (AtEnd()) return Missing();
    const Token& token = m_tokens[m_pos];
    switch (token.kind) {
      case TokenKind::LeftParen: {
        if (m_nesting >= kMaxConditionDepth) TooDeep(m_pos);
        ++m_pos;
        ++m_nesting;
        Parsed inner = Level(0);
        --m_nesting;
        if (!AtEnd() && m_tokens[m_pos].kind == TokenKind::RightParen) ++m_pos;
        return inner;
      }
      case TokenKind::Property:
      case TokenKind::String:
      case TokenKind::Integer:
      case TokenKind::Version:
      case TokenKind::Boolean:
        ++m_pos;
        return {std::make_shared<const ExpressionNode>(ExpressionNode{token, nullptr, nullptr}), 1};
      default:
        return Missing();
    }
  }

  const TokenList& m_tokens;
  const std::vector<std::size_t>& m_positions;
  std::size_t m_textLength;
  std::size_t m_pos = 0;
  int m_nesting = 0;
  std::size_t m_missingAt = std::wstring_view::npos;
};

}  // namespace

bool EqualsIgnoreAsciiCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

std::wstring WhereInCondition(std::size_t index, std::size_t length) {
  if (index >= length) return L"at the end of the condition";
  return L"at character " + std::to_wstring(index + 1);
}

ConditionError::ConditionError(std::wstring problem)
    : std::runtime_error("the condition cannot be evaluated"), m_problem(std::move(problem)) {}

ConditionError& ConditionError::Of(std::wstring_view text) {
  m_text = Shorten(text);
  m_hasText = true;
  return *this;
}

ConditionError& ConditionError::Owner(std::wstring owner) {
  m_owner = std::move(owner);
  return *this;
}

std::wstring ConditionError::Describe() const {
  std::wstring text = m_owner.empty() ? std::wstring() : m_owner + L": ";
  text += m_problem;
  if (m_hasText) text += L" in the condition \"" + m_text + L"\"";
  return text;
}

TokenList Tokenize(const wchar_t* text, std::size_t length, std::vector<std::size_t>* positions) {
  if (positions) positions->clear();
  return Tokenizer(std::wstring_view(text, length), positions).Run();
}

ParsedCondition ParseCondition(const TokenList& tokens, const std::vector<std::size_t>& positions,
                               std::size_t textLength) {
  return Parser(tokens, positions, textLength).Run();
}

ExpressionNodePtr Parse(const TokenList& tokens) {
  static const std::vector<std::size_t> kNoPositions;
  return ParseCondition(tokens, kNoPositions, 0).root;
}

VersionValue ParseVersion(std::wstring_view text, std::size_t& position) {
  if (position < text.size() && text[position] == L'v') ++position;
  VersionValue version = 0;
  for (int field = 0; field < 4; ++field) {
    std::uint32_t value = 0;
    while (position < text.size() && IsAsciiDigit(text[position])) {
      value = (value * 10 + static_cast<std::uint32_t>(text[position] - L'0')) % 65536;
      ++position;
    }
    if (position < text.size() && text[position] == L'.') ++position;
    version = (version << 16) | value;
  }
  return version;
}

VersionValue ParseVersion(std::wstring_view text) {
  std::size_t position = 0;
  return ParseVersion(text, position);
}

std::wstring FormatVersion(VersionValue version) {
  std::wstring text = L"v";
  for (int shift = 48; shift >= 0; shift -= 16) {
    text += std::to_wstring((version >> shift) & 0xFFFF);
    if (shift > 0) text += L'.';
  }
  return text;
}

std::wstring DisplayText(const Token& token) {
  if (!token.value.has_value()) return L"(none)";
  if (const auto* text = std::any_cast<std::wstring>(&token.value)) return *text;
  switch (token.kind) {
    case TokenKind::Integer:
      return std::to_wstring(token.IntegerValue());
    case TokenKind::Version:
      return FormatVersion(token.VersionValueOf());
    case TokenKind::Boolean:
      return token.BooleanValue() ? L"true" : L"false";
    default:
      return {};
  }
}

}  // namespace Tevrian::Expression
