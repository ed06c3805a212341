// The closest of a set of known names to a misspelt one, for "did you mean" hints.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace TevTool {

// The known name that differs least from `name`: letter case alone counts as the smallest
// difference, then edits. Empty when none is close enough to be a likely misspelling.
std::string NearestName(std::string_view name, std::span<const std::string_view> known);

}  // namespace TevTool
