// The progress routine of a file copy: it moves the bar by the bytes copied since its last call,
// waits on the dialog's pause gate, and stops the copy once the run is cancelled.
#pragma once

#include <windows.h>

#include <string>

#include "../shared/cancellation_token.h"
#include "../shared/progress_sink.h"

namespace Tevrian {

struct CopyProgress {
  CProgressSink* dialog;
  const cancellation_token* cancel;
  LARGE_INTEGER counted;  // bytes already put on the bar
};

// A LPPROGRESS_ROUTINE; `data` is a CopyProgress.
DWORD CALLBACK OnCopyProgress(LARGE_INTEGER total, LARGE_INTEGER transferred, LARGE_INTEGER streamSize,
                              LARGE_INTEGER streamTransferred, DWORD stream, DWORD reason, HANDLE source,
                              HANDLE destination, LPVOID data);

// Copies `source` to `destination` (replacing it) with OnCopyProgress as the progress routine:
// CopyFileExW, in a file of its own so that a test can stand in for it (Wine's copy never calls
// its progress routine, so a copy cancelled midway cannot happen there).
BOOL CopyWithProgress(const std::wstring& source, const std::wstring& destination, CopyProgress& progress);

}  // namespace Tevrian
