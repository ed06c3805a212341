#include "copy_progress.h"

namespace Tevrian {

DWORD CALLBACK OnCopyProgress(LARGE_INTEGER, LARGE_INTEGER transferred, LARGE_INTEGER, LARGE_INTEGER, DWORD, DWORD,
                              HANDLE, HANDLE, LPVOID data) {
  auto& progress = *static_cast<CopyProgress*>(data);
  if (transferred.QuadPart != progress.counted.QuadPart) {
    if (progress.dialog)
      progress.dialog->Advance(static_cast<std::uint32_t>(transferred.QuadPart - progress.counted.QuadPart));
  }
  if (progress.dialog) progress.dialog->WaitWhilePaused();
  if (progress.cancel->is_canceled()) return PROGRESS_CANCEL;
  progress.counted = transferred;
  return PROGRESS_CONTINUE;
}

}  // namespace Tevrian
