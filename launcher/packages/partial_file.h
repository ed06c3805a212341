// A file on its way into the cache or the work folder is written under a name of its own beside
// its destination, and moved into place only once complete and verified: a run that is killed or
// a machine that loses power leaves no half-written file under the real name. A partial file left
// by such a run is removed by the next one that writes the same destination, never used.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

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

// Removes the partial file when it goes, unless it was moved into place: whatever ends the write
// early, an exception of any kind included, leaves no partial file behind. The thread's last error
// is kept across the removal, so that the failure about to be reported is the one that happened.
class CPartialFileGuard {
 public:
  explicit CPartialFileGuard(std::wstring path) : m_path(std::move(path)) {}
  CPartialFileGuard(const CPartialFileGuard&) = delete;
  CPartialFileGuard& operator=(const CPartialFileGuard&) = delete;
  ~CPartialFileGuard() {
    if (m_armed) {
      const DWORD lastError = GetLastError();
      DeleteFileW(m_path.c_str());
      SetLastError(lastError);
    }
  }
  // The partial file took its final name: nothing is left to remove.
  void Committed() { m_armed = false; }

 private:
  std::wstring m_path;
  bool m_armed = true;
};

}  // namespace Tevrian
