// The progress routine of a file copy: it moves the bar by the bytes copied since its last call,
// waits on the dialog's pause gate, and stops the copy once the run is cancelled.
#pragma once

#include <windows.h>

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

}  // namespace Tevrian
