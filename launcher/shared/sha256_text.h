// A SHA-256 digest as a manifest writes it: 64 hexadecimal digits, either case. Shared by the
// launcher, which checks a file against it, and tevtool, which writes and lints it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Tevrian {

inline constexpr std::size_t kSha256Bytes = 32;
using Sha256Digest = std::array<std::uint8_t, kSha256Bytes>;

namespace detail {
inline int HexValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}
}  // namespace detail

// The digest `text` spells; none unless it is exactly 64 hexadecimal digits.
template <class Char>
std::optional<Sha256Digest> ParseSha256(std::basic_string_view<Char> text) {
  if (text.size() != 2 * kSha256Bytes) return std::nullopt;
  Sha256Digest digest{};
  for (std::size_t i = 0; i < kSha256Bytes; ++i) {
    const int high = detail::HexValue(static_cast<wchar_t>(text[2 * i]));
    const int low = detail::HexValue(static_cast<wchar_t>(text[2 * i + 1]));
    if (high < 0 || low < 0) return std::nullopt;
    digest[i] = static_cast<std::uint8_t>(high << 4 | low);
  }
  return digest;
}
inline std::optional<Sha256Digest> ParseSha256(std::wstring_view text) { return ParseSha256<wchar_t>(text); }
inline std::optional<Sha256Digest> ParseSha256(std::string_view text) { return ParseSha256<char>(text); }

// The digest in lower-case hexadecimal, as tevtool writes it.
inline std::string Sha256Text(const Sha256Digest& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(2 * kSha256Bytes);
  for (const std::uint8_t byte : digest) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

}  // namespace Tevrian
