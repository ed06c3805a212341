#include "path_join.h"

#include <windows.h>

#include <shlwapi.h>

#include "../installer/msi_exception.h"

namespace Tevrian {

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
  wchar_t joined[MAX_PATH] = {};
  if (!PathCombineW(joined, folder.c_str(), name.c_str())) {
    const bool separated = !folder.empty() && (folder.back() == L'\\' || folder.back() == L'/');
    throw TevMSI::CMsiException(ERROR_FILENAME_EXCED_RANGE,
                                L"ファイルのパスが長すぎます。\n" + folder + (separated ? L"" : L"\\") + name + L"\n");
  }
  return joined;
}

std::wstring FolderOf(const std::wstring& path) {
  const std::size_t separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

}  // namespace Tevrian
