// Version literals as the launcher reads them: up to four dot-separated fields, each wrapping
// silently at 65536, so that v1.70000 stands for v1.4464.0.0.
#pragma once

#include <cstddef>
#include <string_view>

namespace TevTool {

struct VersionLiteral {
  std::wstring_view text;  // what the reader consumes from the start position
  bool overflows = false;  // a field is above 65535
};

VersionLiteral ReadVersionLiteral(std::wstring_view text, std::size_t position = 0);

}  // namespace TevTool
