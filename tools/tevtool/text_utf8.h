// The launcher's wide texts (UTF-16 code units, one per wchar_t) written as UTF-8 for messages.
#pragma once

#include <string>
#include <string_view>

namespace TevTool {

// A lone surrogate becomes U+FFFD.
std::string Utf8(std::wstring_view text);

}  // namespace TevTool
