// The Windows side of the log: the local clock and the file, written in the user's ANSI code page.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "log.h"

namespace Tevrian {

LocalTime CurrentLocalTime();
bool AppendLogLines(const std::wstring& path, const std::vector<std::wstring>& lines);

// Makes a new, empty log file in `folder` (ending with a backslash) named `name` (ending with
// ".log"), or "name(2).log" and so on when that exists: a log is never appended to a file that was
// there before. The path of the file made; the first name's path when the folder refuses files
// (the writes then fail alike); empty when every name is taken.
std::wstring CreateNewLogFile(const std::wstring& folder, const std::wstring& name);

// Room for the numbered names that CreateNewLogFile may choose: "(99)".
inline constexpr std::size_t kLogNameNumberRoom = 4;

}  // namespace Tevrian
