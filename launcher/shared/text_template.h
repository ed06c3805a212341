// Messages and log lines are templates with numbered placeholders ("{0}", "{1:02d}", "{0:08X}").
// Error codes are shown as signed decimal in "{0}" but always as their unsigned 32-bit pattern in
// "{0:08X}", even within one template ("ExitCode={0}(0x{0:08X})"); Code32 carries that rule.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include <fmt/format.h>
#include <fmt/xchar.h>

namespace Tevrian {

struct Code32 {
  std::uint32_t bits;
  bool isSigned;
};

namespace detail {

template <class T>
auto TemplateArgument(const T& value) {
  if constexpr (std::is_same_v<T, bool>) {
    return std::wstring_view(value ? L"true" : L"false");
  } else if constexpr (std::is_integral_v<T> && sizeof(T) <= 4) {
    return Code32{static_cast<std::uint32_t>(value), std::is_signed_v<T>};
  } else if constexpr (std::is_same_v<T, std::wstring> || std::is_same_v<T, std::wstring_view>) {
    return std::wstring_view(value);
  } else if constexpr (std::is_convertible_v<T, const wchar_t*>) {
    return std::wstring_view(value);
  } else {
    return value;
  }
}

}  // namespace detail

// Fills a template; integers of 32 bits and less follow the Code32 rule (signed types in signed
// decimal, every hexadecimal form unsigned), bools read true/false.
template <class... Args>
std::wstring FormatText(std::wstring_view text, const Args&... args) {
  return fmt::format(fmt::runtime(text), detail::TemplateArgument(args)...);
}

// What one log line or message quotes of a text that may be long (a manifest's condition or
// message): at most `limit` characters, then "...(N more characters)", so that a log grows with the
// texts it reports, not with their length times the lines that quote them.
inline constexpr std::size_t kQuoteLimit = 300;
inline std::wstring Shorten(std::wstring_view text, std::size_t limit = kQuoteLimit) {
  if (text.size() <= limit) return std::wstring(text);
  std::size_t cut = limit;
  // Never split a surrogate pair.
  if (cut > 0 && text[cut - 1] >= 0xD800 && text[cut - 1] <= 0xDBFF) --cut;
  return std::wstring(text.substr(0, cut)) + fmt::format(L"...({0} more characters)", text.size() - cut);
}

}  // namespace Tevrian

template <>
struct fmt::formatter<Tevrian::Code32, wchar_t> {
  fmt::formatter<std::int64_t, wchar_t> m_inner;
  bool m_hex = false;

  constexpr auto parse(fmt::basic_format_parse_context<wchar_t>& ctx) {
    auto it = ctx.begin();
    while (it != ctx.end() && *it != L'}') {
      if (*it == L'x' || *it == L'X') m_hex = true;
      ++it;
    }
    return m_inner.parse(ctx);
  }

  template <class Context>
  auto format(Tevrian::Code32 code, Context& ctx) const {
    const bool asSigned = code.isSigned && !m_hex;
    const std::int64_t shown = asSigned ? static_cast<std::int64_t>(static_cast<std::int32_t>(code.bits))
                                        : static_cast<std::int64_t>(code.bits);
    return m_inner.format(shown, ctx);
  }
};
