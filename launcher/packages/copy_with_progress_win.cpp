#include "copy_progress.h"

namespace Tevrian {

BOOL CopyWithProgress(const std::wstring& source, const std::wstring& destination, CopyProgress& progress) {
  return CopyFileExW(source.c_str(), destination.c_str(), OnCopyProgress, &progress, nullptr, 0);
}

}  // namespace Tevrian
