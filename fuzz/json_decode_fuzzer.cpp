// Fuzzes DecodeJSONString. Besides what the sanitizers find, it checks that the output is UTF-16 the
// rest of the launcher can trust: code units only, never more units than bytes, and for text without
// escapes, no lone surrogate and an exact round trip unless a malformed sequence was replaced.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "json_value.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "json_decode_fuzzer: %s\n", what);
  std::abort();
}

bool IsHigh(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLow(wchar_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// UTF-16 to UTF-8, for units that hold no lone surrogate.
std::string EncodeUtf8(const std::wstring& units) {
  std::string out;
  for (std::size_t i = 0; i < units.size(); ++i) {
    std::uint32_t code = static_cast<std::uint32_t>(units[i]);
    if (IsHigh(units[i])) code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<std::uint32_t>(units[++i]) - 0xDC00);
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view raw(reinterpret_cast<const char*>(data), size);
  const std::wstring units = Tevrian::JSON::DecodeJSONString(raw);
  if (units.size() > raw.size()) Fail("more units than bytes");
  for (wchar_t unit : units) {
    if (unit < 0 || unit > 0xFFFF) Fail("not a UTF-16 code unit");
  }
  if (raw.find('\\') != std::string_view::npos) return 0;
  // Without escapes every unit comes from UTF-8, which cannot yield a lone surrogate.
  for (std::size_t i = 0; i < units.size(); ++i) {
    if (IsLow(units[i])) Fail("lone low surrogate");
    if (IsHigh(units[i]) && (++i == units.size() || !IsLow(units[i]))) Fail("lone high surrogate");
  }
  const std::string encoded = EncodeUtf8(units);
  if (units.find(L'\xFFFD') == std::wstring::npos && encoded != raw) Fail("well-formed text changed");
  if (Tevrian::JSON::DecodeJSONString(encoded) != units) Fail("decoding its own output changed it");
  return 0;
}
