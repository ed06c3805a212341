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
// is quoted as U+FFFD, so that every message stays UTF-8 whatever the text.
inline std::string Quoted(std::string_view text) {
  std::wstring wide;
  Tevrian::JSON::AppendUtf8AsUtf16(wide, text);
  return "\"" + Utf8(wide) + "\"";
}
inline std::string Quoted(std::wstring_view text) { return Quoted(Utf8(text)); }

// "; did you mean "X"?" when a known name is close to `name`, else empty.
inline std::string DidYouMean(std::string_view name, std::span<const std::string_view> known) {
  const std::string nearest = NearestName(name, known);
  return nearest.empty() ? std::string() : "; did you mean " + Quoted(nearest) + "?";
}

}  // namespace TevTool
