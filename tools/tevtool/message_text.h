// Pieces of the lint's messages: quoted names and the "did you mean" hint.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "nearest_name.h"
#include "text_utf8.h"

namespace TevTool {

inline std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }
inline std::string Quoted(std::wstring_view text) { return Quoted(Utf8(text)); }

// "; did you mean "X"?" when a known name is close to `name`, else empty.
inline std::string DidYouMean(std::string_view name, std::span<const std::string_view> known) {
  const std::string nearest = NearestName(name, known);
  return nearest.empty() ? std::string() : "; did you mean " + Quoted(nearest) + "?";
}

}  // namespace TevTool
