// Stand-in for the outside LWLog64.dll, built for the tests and never shipped: appends every line
// it receives, as UTF-16 followed by a line feed, to the file named by LWLOG_STANDIN_FILE (read on
// each call, so that each test chooses its own file).
#include <windows.h>

#include <string>

#include "installer/unique_handle.h"

extern "C" void LWL_WriteLog(const wchar_t* line) {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableW(L"LWLOG_STANDIN_FILE", path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  TevMSI::CFileHandle file(
      CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  const std::wstring text = std::wstring(line != nullptr ? line : L"(null)") + L"\n";
  DWORD written = 0;
  WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
}
