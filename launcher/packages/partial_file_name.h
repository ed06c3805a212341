// The name a file has while it is being written beside its destination (see partial_file.h). Kept
// apart from the Windows move so that the file-name check builds on every platform.
#pragma once

#include <string>

namespace Tevrian {

inline std::wstring PartialFilePath(const std::wstring& destination) { return destination + L".tevpart"; }

}  // namespace Tevrian
