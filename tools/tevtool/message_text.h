// Pieces of the lint's messages: quoted names and the "did you mean" hint.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "../../launcher/json/utf8.h"
#include "nearest_name.h"
#include "text_utf8.h"

namespace TevTool {

// Names and values come as the manifest's raw bytes, which need not be UTF-8: a malformed sequence
// is quoted as U+FFFD, so that every message stays UTF-8 whatever the text. A control character
// (a NUL above all, which would end the message where it is printed) is written as its escape.
inline std::string Quoted(std::string_view text) {
  std::wstring wide;
  Tevrian::JSON::AppendUtf8AsUtf16(wide, text);
  std::wstring shown;
  for (const wchar_t c : wide) {
    if (c < 0x20 || c == 0x7F) {
      static constexpr char kHex[] = "0123456789ABCDEF";
      shown += L"\\u00";
      shown += static_cast<wchar_t>(kHex[(c >> 4) & 0xF]);
      shown += static_cast<wchar_t>(kHex[c & 0xF]);
    } else {
      shown += c;
    }
  }
  return "\"" + Utf8(shown) + "\"";
}
inline std::string Quoted(std::wstring_view text) { return Quoted(Utf8(text)); }

// "; did you mean "X"?" when a known name is close to `name`, else empty.
inline std::string DidYouMean(std::string_view name, std::span<const std::string_view> known) {
  const std::string nearest = NearestName(name, known);
  return nearest.empty() ? std::string() : "; did you mean " + Quoted(nearest) + "?";
}

}  // namespace TevTool
