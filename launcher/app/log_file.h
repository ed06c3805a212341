// The Windows side of the log: the local clock and the file, written in the user's ANSI code page.
#pragma once

#include <string>
#include <vector>

#include "log.h"

namespace Tevrian {

LocalTime CurrentLocalTime();
bool AppendLogLines(const std::wstring& path, const std::vector<std::wstring>& lines);

}  // namespace Tevrian
