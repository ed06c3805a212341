// exitwith N [ARGUMENTS...]: a stand-in for an installer that ends with exit code N. When
// TEV_EXITWITH_RECORD names a file, the command line it got is appended to it as a UTF-8 line, so
// that a test can see exactly what the launcher passed. An argument /sleep:MS makes it take that
// long first, like an installer at work.
#include <windows.h>

#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
  wchar_t record[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableW(L"TEV_EXITWITH_RECORD", record, MAX_PATH);
  if (length > 0 && length < MAX_PATH) {
    const std::wstring line = std::wstring(GetCommandLineW()) + L"\n";
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), bytes.data(), size, nullptr, nullptr);
    const HANDLE file =
        CreateFileW(record, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
      CloseHandle(file);
    }
  }
  for (int i = 2; i < argc; ++i) {
    if (std::wcsncmp(argv[i], L"/sleep:", 7) == 0) Sleep(static_cast<DWORD>(std::wcstoul(argv[i] + 7, nullptr, 10)));
  }
  return argc > 1 ? static_cast<int>(std::wcstoul(argv[1], nullptr, 10)) : 0;
}
