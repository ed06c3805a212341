// A file a verb reads whole (a manifest, a launcher), with the reason when it cannot.
#pragma once

#include <string>

namespace TevTool {

// False for anything but a readable regular file, with `reason` saying why: what the system said,
// or what the path is instead (a folder, a device such as NUL). The path is UTF-8 on every platform.
bool ReadWholeFile(const std::string& utf8Path, std::string& bytes, std::string& reason);

}  // namespace TevTool
