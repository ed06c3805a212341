// A file on its way into the cache or the work folder is written under a name of its own beside
// its destination, and moved into place only once complete and verified: a run that is killed or
// a machine that loses power leaves no half-written file under the real name. A partial file left
// by such a run is removed by the next one that writes the same destination, never used.
#pragma once

#include <windows.h>

#include <string>

#include "partial_file_name.h"

namespace Tevrian {

// Replaces `destination` with the completed `partial`; false with the system error left for
// GetLastError.
inline bool CommitPartialFile(const std::wstring& partial, const std::wstring& destination) {
  return MoveFileExW(partial.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace Tevrian
