// Stands in for msiexec.exe: writes the parameter text it was started with (its command line
// without the program) to the file %TEV_STANDIN_RECORD%, then ends with %TEV_STANDIN_EXIT%.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "unique_handle.h"

int wmain() {
  std::wstring line = GetCommandLineW();
  std::size_t end = 0;
  if (!line.empty() && line[0] == L'"') {
    end = line.find(L'"', 1);
    end = end == std::wstring::npos ? line.size() : end + 1;
  } else {
    end = line.find(L' ');
    if (end == std::wstring::npos) end = line.size();
  }
  while (end < line.size() && line[end] == L' ') ++end;
  const std::wstring parameters = line.substr(end);

  wchar_t record[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"TEV_STANDIN_RECORD", record, MAX_PATH)) {
    const TevMSI::CFileHandle file(
        CreateFileW(record, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
      DWORD written = 0;
      WriteFile(file.get(), parameters.data(), static_cast<DWORD>(parameters.size() * sizeof(wchar_t)), &written,
                nullptr);
    }
  }
  wchar_t code[16] = {};
  if (!GetEnvironmentVariableW(L"TEV_STANDIN_EXIT", code, 16)) return 0;
  return static_cast<int>(std::wcstoul(code, nullptr, 10));
}
