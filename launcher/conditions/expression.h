// The condition language's lexical and syntactic layer: tokenizer, parser, version values.
//
// Grammar, loosest binding first (all infix levels are left-associative):
//   level0   := level1 { (AND | OR) level1 }
//   level1   := level2 { (== | !=) level2 }
//   level2   := level3 { (>= | > | <= | <) level3 }
//   level3   := NOT operand | operand
//   operand  := Property | String | Integer | Version | Boolean | "(" level0 [")"]
// Whatever follows the first complete expression is ignored. A tree deeper than kMaxConditionDepth
// (long chains of one operator included, not only parentheses) is refused, so that evaluating
// and freeing it stay within a small, fixed stack.
#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "token.h"

namespace Tevrian::Expression {

struct ExpressionNode;
using ExpressionNodePtr = std::shared_ptr<const ExpressionNode>;

// Operator nodes carry an empty value; NOT has no left child. An empty link where an operand
// belongs makes the tree incomplete, which evaluation reports as an error.
struct ExpressionNode {
  Token token;
  ExpressionNodePtr left;
  ExpressionNodePtr right;
};

inline constexpr int kMaxConditionDepth = 256;

// A condition that cannot be given a value, with what is wrong and where ("an operand is missing
// at character 12"); the checker adds the condition's text, and its caller whose condition it is.
class ConditionError : public std::runtime_error {
 public:
  explicit ConditionError(std::wstring problem);

  // The condition's text, as the check was given it.
  ConditionError& Of(std::wstring_view text);
  // Whose condition it is: "the \"ExecuteCondition\" of package Id X (LaunchList[1]...)".
  ConditionError& Owner(std::wstring owner);

  const std::wstring& Problem() const noexcept { return m_problem; }
  // "OWNER: PROBLEM in the condition "TEXT"" with a long text shortened.
  std::wstring Describe() const;

 private:
  std::wstring m_problem;
  std::wstring m_text;
  std::wstring m_owner;
  bool m_hasText = false;
};

// "at character 13" (counted from 1, as an editor's column) or "at the end of the condition".
std::wstring WhereInCondition(std::size_t index, std::size_t length);

// The tokenizer's integer errors, with the character index of the literal. They derive from the
// standard conversion errors that std::stoi raises for the same texts.
class IntegerOutOfRange : public std::out_of_range {
 public:
  explicit IntegerOutOfRange(std::size_t at) : std::out_of_range("stoi"), position(at) {}
  std::size_t position;
};
class InvalidInteger : public std::invalid_argument {
 public:
  explicit InvalidInteger(std::size_t at) : std::invalid_argument("stoi"), position(at) {}
  std::size_t position;
};

// Raises IntegerOutOfRange for an integer literal beyond 32 bits, InvalidInteger for a digit run
// that is no number. `positions`, when given, receives each token's character index.
TokenList Tokenize(const wchar_t* text, std::size_t length, std::vector<std::size_t>* positions = nullptr);
inline TokenList Tokenize(std::wstring_view text) { return Tokenize(text.data(), text.size()); }

struct ParsedCondition {
  ExpressionNodePtr root;  // empty when the first token cannot start an expression
  // The character index where the first operand is missing (an empty link in the tree), or npos.
  std::size_t missingOperandAt = std::wstring_view::npos;
  // How many tokens the expression took; the rest is passed over (checkers warn about it).
  std::size_t consumed = 0;
};

// `positions` are Tokenize's, `textLength` stands for the end of the text. Raises ConditionError
// for a tree deeper than kMaxConditionDepth.
ParsedCondition ParseCondition(const TokenList& tokens, const std::vector<std::size_t>& positions,
                               std::size_t textLength);
// Empty when the first token cannot start an expression.
ExpressionNodePtr Parse(const TokenList& tokens);

// Reads up to four dot-separated fields from `position` (a leading "v" is skipped), leaving
// `position` on the first character not consumed. Fields wrap at 65536.
VersionValue ParseVersion(std::wstring_view text, std::size_t& position);
VersionValue ParseVersion(std::wstring_view text);

std::wstring FormatVersion(VersionValue version);

// The text log lines show for a value: "(none)" for an empty one.
std::wstring DisplayText(const Token& token);

// Whole-word comparison that folds only the ASCII letters, as keywords and switches are matched.
bool EqualsIgnoreAsciiCase(std::wstring_view a, std::wstring_view b);

}  // namespace Tevrian::Expression
