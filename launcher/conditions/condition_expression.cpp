#include "condition_expression.h"

#include <vector>

#include "../shared/text_template.h"
#include "expression.h"

namespace Tevrian::Expression {

CConditionExpression::CConditionExpression(LogSink log) : m_log(std::move(log)) {}

Token CConditionExpression::GetProperty(const std::wstring& name) const {
  const auto it = m_properties.find(name);
  return it != m_properties.end() ? it->second : Token::Boolean(false);
}

void CConditionExpression::SetProperty(const std::wstring& name, Token token) {
  Log(L"Add Property " + name + L"=" + DisplayText(token));
  m_properties[name] = std::move(token);
}

void CConditionExpression::LogProperties() const {
  Log(L"Properties");
  for (const auto& [name, token] : m_properties) Log(name + L"=" + DisplayText(token));
}

namespace {

Token EvaluateChild(const CConditionExpression& context, const ExpressionNodePtr& child) {
  if (!child) throw ConditionError(L"an operand is missing");
  return Evaluate(context, *child);
}

// Both sides are always evaluated, left first: an error on the right surfaces even when the left
// side already decides the answer.
template <class Combine>
EvaluationFunction Binary(Combine combine) {
  return [combine](const CConditionExpression& context, const ExpressionNode& node) {
    const Token left = EvaluateChild(context, node.left);
    const Token right = EvaluateChild(context, node.right);
    return Token::Boolean(combine(left, right));
  };
}

template <class Test>
EvaluationFunction Comparison(Test test) {
  return Binary([test](const Token& a, const Token& b) { return test(Compare(a, b)); });
}

std::array<EvaluationFunction, 22> MakeEvaluationTable() {
  std::array<EvaluationFunction, 22> table;
  const auto slot = [&table](TokenKind kind) -> EvaluationFunction& { return table[static_cast<std::size_t>(kind)]; };
  const EvaluationFunction literal = [](const CConditionExpression&, const ExpressionNode& node) { return node.token; };
  for (TokenKind kind :
       {TokenKind::None, TokenKind::String, TokenKind::Integer, TokenKind::Version, TokenKind::Boolean}) {
    slot(kind) = literal;
  }
  slot(TokenKind::Property) = [](const CConditionExpression& context, const ExpressionNode& node) {
    return context.GetProperty(node.token.TextValue());
  };
  slot(TokenKind::And) = Binary([](const Token& a, const Token& b) { return IsTrue(a) && IsTrue(b); });
  slot(TokenKind::Or) = Binary([](const Token& a, const Token& b) { return IsTrue(a) || IsTrue(b); });
  slot(TokenKind::Equal) = Comparison([](int c) { return c == 0; });
  slot(TokenKind::NotEqual) = Comparison([](int c) { return c != 0; });
  slot(TokenKind::GreaterEqual) = Comparison([](int c) { return c >= 0; });
  slot(TokenKind::Greater) = Comparison([](int c) { return c > 0; });
  slot(TokenKind::LessEqual) = Comparison([](int c) { return c <= 0; });
  slot(TokenKind::Less) = Comparison([](int c) { return c < 0; });
  slot(TokenKind::Not) = [](const CConditionExpression& context, const ExpressionNode& node) {
    return Token::Boolean(!IsTrue(EvaluateChild(context, node.right)));
  };
  return table;
}

int Sign(long long difference) { return difference < 0 ? -1 : (difference > 0 ? 1 : 0); }

// The display form of a property for bracket substitution: empty for kinds that have none.
std::wstring SubstitutionText(const Token& token) {
  switch (token.kind) {
    case TokenKind::String:
    case TokenKind::Integer:
    case TokenKind::Version:
    case TokenKind::Boolean:
      return token.value.has_value() ? DisplayText(token) : std::wstring();
    default:
      return {};
  }
}

}  // namespace

const std::array<EvaluationFunction, 22>& EvaluationTable() {
  static const std::array<EvaluationFunction, 22> table = MakeEvaluationTable();
  return table;
}

Token Evaluate(const CConditionExpression& context, const ExpressionNode& node) {
  const auto index = static_cast<std::size_t>(node.token.kind);
  if (index >= EvaluationTable().size() || !EvaluationTable()[index]) {
    throw ConditionError(L"the condition holds a token that has no value");
  }
  return EvaluationTable()[index](context, node);
}

bool IsTrue(const Token& token) {
  if (!token.value.has_value()) return false;
  switch (token.kind) {
    case TokenKind::String:
      return !token.TextValue().empty();
    case TokenKind::Integer:
      return token.IntegerValue() != 0;
    case TokenKind::Version:
      return token.VersionValueOf() != 0;
    case TokenKind::Boolean:
      return token.BooleanValue();
    default:
      return false;
  }
}

int Compare(const Token& a, const Token& b) {
  if (a.kind != b.kind && (a.kind == TokenKind::Version || b.kind == TokenKind::Version)) {
    const auto asVersion = [](const Token& t) {
      return t.kind == TokenKind::String ? Token::Version(ParseVersion(t.TextValue())) : t;
    };
    const Token x = asVersion(a);
    const Token y = asVersion(b);
    if (x.kind != a.kind || y.kind != b.kind) return Compare(x, y);
  }
  if (a.kind != b.kind) return Sign(static_cast<long long>(a.kind) - static_cast<long long>(b.kind));
  // Values are read as their kind's type; a kind with no value compares equal.
  if (!a.value.has_value() || !b.value.has_value()) return 0;
  switch (a.kind) {
    case TokenKind::String: {
      const std::wstring& x = a.TextValue();
      const std::wstring& y = b.TextValue();
      for (std::size_t i = 0; i < x.size() && i < y.size(); ++i) {
        const unsigned cx = static_cast<unsigned>(x[i]) & 0xFFFFu;
        const unsigned cy = static_cast<unsigned>(y[i]) & 0xFFFFu;
        if (cx != cy) return cx < cy ? -1 : 1;
      }
      return Sign(static_cast<long long>(x.size()) - static_cast<long long>(y.size()));
    }
    case TokenKind::Integer:
      return Sign(static_cast<long long>(a.IntegerValue()) - b.IntegerValue());
    case TokenKind::Version: {
      const VersionValue x = a.VersionValueOf();
      const VersionValue y = b.VersionValueOf();
      return x < y ? -1 : (x > y ? 1 : 0);
    }
    case TokenKind::Boolean:
      return static_cast<int>(a.BooleanValue()) - static_cast<int>(b.BooleanValue());
    default:
      return 0;
  }
}

bool CConditionExpression::CheckCondition(const wchar_t* text, std::size_t length) const {
  const std::wstring_view view(text, length);
  bool answer = false;
  try {
    std::vector<std::size_t> positions;
    TokenList tokens;
    try {
      tokens = Tokenize(text, length, &positions);
    } catch (const IntegerOutOfRange& error) {
      throw ConditionError(L"the integer " + WhereInCondition(error.position, length) +
                           L" is beyond the signed 32-bit range");
    } catch (const InvalidInteger& error) {
      throw ConditionError(L"the digits " + WhereInCondition(error.position, length) + L" are not a number");
    }
    if (tokens.empty()) return true;
    const ParsedCondition parsed = ParseCondition(tokens, positions, length);
    // Every empty link is one the parser met, so this also covers an empty root.
    if (!parsed.root || parsed.missingOperandAt != std::wstring_view::npos) {
      throw ConditionError(L"an operand is missing " + WhereInCondition(parsed.missingOperandAt, length));
    }
    answer = IsTrue(Evaluate(*this, *parsed.root));
  } catch (ConditionError& error) {
    error.Of(view);
    throw;
  }
  Log(FormatText(L"CheckCondition( {0} ):{1}", Shorten(view), answer));
  return answer;
}

namespace {

// The first "[" not preceded by a backslash, and the first "]" after it; false when the text has
// no complete reference.
bool FindReference(std::wstring_view text, std::size_t& open, std::size_t& close) {
  open = text.find(L'[');
  while (open != std::wstring_view::npos && open > 0 && text[open - 1] == L'\\') open = text.find(L'[', open + 1);
  if (open == std::wstring_view::npos || open + 1 >= text.size()) return false;
  close = text.find(L']', open + 1);
  return close != std::wstring_view::npos;
}

}  // namespace

std::wstring CConditionExpression::Resolve(const wchar_t* text, std::size_t length) const {
  // Each reference's answer is its prefix, its value and the answer of the rest, so the whole
  // answer is built front to back in one pass, and the answer of each rest is a suffix of it.
  struct Reference {
    std::wstring_view text;  // the text from this reference's prefix on
    std::size_t answerStart;
  };
  std::vector<Reference> references;
  std::wstring answer;
  std::wstring_view rest(text, length);
  std::size_t open = 0;
  std::size_t close = 0;
  while (!rest.empty() && FindReference(rest, open, close)) {
    references.push_back({rest, answer.size()});
    answer += rest.substr(0, open);
    const std::wstring name(rest.substr(open + 1, close - open - 1));
    if (const auto it = m_properties.find(name); it != m_properties.end()) answer += SubstitutionText(it->second);
    rest = rest.substr(close + 1);
  }
  answer += rest;
  for (auto it = references.rbegin(); it != references.rend(); ++it) {
    Log(L"Resolve " + Shorten(it->text) + L" -> " + Shorten(std::wstring_view(answer).substr(it->answerStart)));
  }
  return answer;
}

std::wstring OsCheckFailureMessage(int step, std::uint32_t error) {
  return FormatText(L"想定された Windows OSではありません({0})({1}(0x{1:08X}))。\n実行を中止します。", step, error);
}

}  // namespace Tevrian::Expression
