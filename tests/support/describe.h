// Compact text forms of tokens and trees, so that test tables state expectations in one line.
#pragma once

#include <string>

#include "expression.h"

namespace TevTest {

inline std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) {
    if (c >= 0x20 && c < 0x80) {
      out += static_cast<char>(c);
    } else {
      char buffer[12];
      snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(c));
      out += buffer;
    }
  }
  return out;
}

inline std::string KindName(Tevrian::Expression::TokenKind kind) {
  static const char* const kNames[] = {"None",         "Symbol",  "And",       "Or",        "Equal",      "NotEqual",
                                       "GreaterEqual", "Greater", "LessEqual", "Less",      "Plus",       "Minus",
                                       "Multiply",     "Divide",  "Not",       "LeftParen", "RightParen", "Property",
                                       "String",       "Integer", "Version",   "Boolean"};
  const auto index = static_cast<int>(kind);
  return index >= 0 && index <= 21 ? kNames[index] : "Kind" + std::to_string(index);
}

// "Property(A)", "Symbol(=)", "Integer(5)", "Version(v1.2.0.0)", "Equal"
inline std::string Describe(const Tevrian::Expression::Token& token) {
  std::string text = KindName(token.kind);
  if (token.value.has_value()) text += "(" + Narrow(Tevrian::Expression::DisplayText(token)) + ")";
  return text;
}

inline std::string Describe(const Tevrian::Expression::TokenList& tokens) {
  std::string text;
  for (const auto& token : tokens) {
    if (!text.empty()) text += ' ';
    text += Describe(token);
  }
  return text;
}

// Leaves as their values (strings quoted), operators as (KIND left right), an empty link as "_".
inline std::string Describe(const Tevrian::Expression::ExpressionNodePtr& node) {
  using Tevrian::Expression::TokenKind;
  if (!node) return "_";
  if (!node->left && !node->right) {
    if (node->token.kind == TokenKind::String) return "'" + Narrow(node->token.TextValue()) + "'";
    if (node->token.value.has_value()) return Narrow(Tevrian::Expression::DisplayText(node->token));
  }
  if (node->token.kind == TokenKind::Not) return "(Not " + Describe(node->right) + ")";
  return "(" + KindName(node->token.kind) + " " + Describe(node->left) + " " + Describe(node->right) + ")";
}

}  // namespace TevTest
