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
// GetLastError. A read-only file in the cache (copied from a CD, marked by a user) is still ours to
// replace: the move would be refused over it.
inline bool CommitPartialFile(const std::wstring& partial, const std::wstring& destination) {
  const DWORD attributes = GetFileAttributesW(destination.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    SetFileAttributesW(destination.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  }
  return MoveFileExW(partial.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace Tevrian
