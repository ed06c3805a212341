// Small text helpers shared by the launcher's Windows-facing code.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace TevMSI {

// Shorter strings order first whatever they hold; at equal length code units compare with only
// A-Z folded to a-z. Gives -1, 0 or 1; `index` receives the first difference, or the length.
int CompareNoCase(std::wstring_view a, std::wstring_view b, std::size_t* index = nullptr);

// %NAME% references expanded; the text unchanged when expansion fails.
std::wstring ExpandEnvironment(const std::wstring& text);

}  // namespace TevMSI
