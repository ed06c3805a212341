// The condition language's lexical and syntactic layer: tokenizer, parser, version values.
//
// Grammar, loosest binding first (all infix levels are left-associative):
//   level0   := level1 { (AND | OR) level1 }
//   level1   := level2 { (== | !=) level2 }
//   level2   := level3 { (>= | > | <= | <) level3 }
//   level3   := NOT operand | operand
//   operand  := Property | String | Integer | Version | Boolean | "(" level0 [")"]
// Whatever follows the first complete expression is ignored.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

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

// Raises std::out_of_range for an integer literal beyond 32 bits (std::stoi's own errors).
TokenList Tokenize(const wchar_t* text, std::size_t length);
inline TokenList Tokenize(std::wstring_view text) { return Tokenize(text.data(), text.size()); }

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
