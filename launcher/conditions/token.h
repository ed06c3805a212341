// Values of the condition language: lexical tokens and run-time property values share one type.
#pragma once

#include <any>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace Tevrian::Expression {

// The numeric codes are part of the language: values of different kinds are ordered by them.
enum class TokenKind : std::int32_t {
  None = 0,
  Symbol = 1,
  And = 2,
  Or = 3,
  Equal = 4,
  NotEqual = 5,
  GreaterEqual = 6,
  Greater = 7,
  LessEqual = 8,
  Less = 9,
  Plus = 10,
  Minus = 11,
  Multiply = 12,
  Divide = 13,
  Not = 14,
  LeftParen = 15,
  RightParen = 16,
  Property = 17,
  String = 18,
  Integer = 19,
  Version = 20,
  Boolean = 21,
};

// Four 16-bit fields A.B.C.D, A in the most significant bits, so that versions order as integers.
using VersionValue = std::uint64_t;

constexpr VersionValue MakeVersion(std::uint16_t a, std::uint16_t b, std::uint16_t c, std::uint16_t d) {
  return (VersionValue{a} << 48) | (VersionValue{b} << 32) | (VersionValue{c} << 16) | VersionValue{d};
}

// A kind and a value: empty, or exactly one of std::wstring, std::int32_t, VersionValue, bool.
struct Token {
  TokenKind kind = TokenKind::None;
  std::any value;

  static Token Text(TokenKind kind, std::wstring text) { return {kind, std::move(text)}; }
  static Token Integer(std::int32_t v) { return {TokenKind::Integer, v}; }
  static Token Version(VersionValue v) { return {TokenKind::Version, v}; }
  static Token Boolean(bool v) { return {TokenKind::Boolean, v}; }
  static Token Operator(TokenKind kind) { return {kind, {}}; }

  // Typed reads raise std::bad_any_cast when the value holds another type.
  const std::wstring& TextValue() const { return std::any_cast<const std::wstring&>(value); }
  std::int32_t IntegerValue() const { return std::any_cast<std::int32_t>(value); }
  VersionValue VersionValueOf() const { return std::any_cast<VersionValue>(value); }
  bool BooleanValue() const { return std::any_cast<bool>(value); }
};

using TokenList = std::vector<Token>;

// Property names compare as UTF-16 code units, case-sensitively.
using PropertyMap = std::map<std::wstring, Token>;

}  // namespace Tevrian::Expression
