#include "expression.h"

#include <array>
#include <stdexcept>

#include "char_class.h"

namespace Tevrian::Expression {
namespace {

constexpr std::wstring_view kOperatorCharacters = L"=!><()+-*/";

bool IsOperatorCharacter(wchar_t c) { return kOperatorCharacters.find(c) != std::wstring_view::npos; }
bool IsAsciiDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

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
  explicit Tokenizer(std::wstring_view text) : m_text(text) {}

  TokenList Run() {
    for (;;) {
      while (m_pos < m_text.size() && CharClass::IsBlank(m_text[m_pos])) ++m_pos;
      if (m_pos >= m_text.size()) break;
      const wchar_t c = m_text[m_pos];
      if (c == L'v' && m_pos + 1 < m_text.size() && IsAsciiDigit(m_text[m_pos + 1])) {
        Push(Token::Version(ParseVersion(m_text, m_pos)));
      } else if (CharClass::IsLetter(c)) {
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
        // Control characters, unpaired surrogates and the like carry no meaning: skip them.
        ++m_pos;
      }
    }
    return std::move(m_tokens);
  }

 private:
  void Push(Token token) { m_tokens.push_back(std::move(token)); }

  // The word after the assignment sign is the value of NAME=value, read as text. Other symbol
  // runs, such as "((" or the "?" of "/?", leave the next word a name.
  bool AfterAssignmentSign() const {
    return !m_tokens.empty() && m_tokens.back().kind == TokenKind::Symbol && m_tokens.back().TextValue() == L"=";
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
    m_pos = end;
    Push(Token::Integer(static_cast<std::int32_t>(std::stoi(digits, nullptr, 10))));
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
  std::size_t m_pos = 0;
  TokenList m_tokens;
};

class Parser {
 public:
  explicit Parser(const TokenList& tokens) : m_tokens(tokens) {}

  ExpressionNodePtr Level(int level) {
    if (level == 3) return Unary();
    ExpressionNodePtr left = Level(level + 1);
    while (AtLevel(level)) {
      Token op = m_tokens[m_pos++];
      ExpressionNodePtr right = Level(level + 1);
      left = std::make_shared<const ExpressionNode>(ExpressionNode{std::move(op), std::move(left), std::move(right)});
    }
    return left;
  }

 private:
  // Parentheses are the only recursion that input controls; beyond this depth the operand is
  // left empty, so a hostile condition fails as an incomplete tree instead of exhausting the stack.
  static constexpr int kMaxNesting = 200;

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

  ExpressionNodePtr Unary() {
    if (AtEnd()) return nullptr;
    if (m_tokens[m_pos].kind == TokenKind::Not) {
      Token op = m_tokens[m_pos++];
      ExpressionNodePtr operand = Operand();
      return std::make_shared<const ExpressionNode>(ExpressionNode{std::move(op), nullptr, std::move(operand)});
    }
    return Operand();
  }

  ExpressionNodePtr Operand() {
    if (AtEnd()) return nullptr;
    const Token& token = m_tokens[m_pos];
    switch (token.kind) {
      case TokenKind::LeftParen: {
        if (m_depth >= kMaxNesting) return nullptr;
        ++m_pos;
        ++m_depth;
        ExpressionNodePtr inner = Level(0);
        --m_depth;
        if (!AtEnd() && m_tokens[m_pos].kind == TokenKind::RightParen) ++m_pos;
        return inner;
      }
      case TokenKind::Property:
      case TokenKind::String:
      case TokenKind::Integer:
      case TokenKind::Version:
      case TokenKind::Boolean:
        ++m_pos;
        return std::make_shared<const ExpressionNode>(ExpressionNode{token, nullptr, nullptr});
      default:
        return nullptr;
    }
  }

  const TokenList& m_tokens;
  std::size_t m_pos = 0;
  int m_depth = 0;
};

}  // namespace

bool EqualsIgnoreAsciiCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

TokenList Tokenize(const wchar_t* text, std::size_t length) { return Tokenizer(std::wstring_view(text, length)).Run(); }

ExpressionNodePtr Parse(const TokenList& tokens) { return Parser(tokens).Level(0); }

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
