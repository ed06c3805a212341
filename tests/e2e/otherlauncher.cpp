// otherlauncher: a stand-in for the other launcher a newer manifest names. It records the command
// line it got, the show state it was started with and whether its own file could be renamed while
// it runs (the system's error, 0 when it could; it is renamed back) in the file named by
// TEV_OTHER_RECORD, then ends with the exit code given on its command line as EXIT=N (0 without one).
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

std::string Utf8(const std::wstring& text) {
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length, nullptr, nullptr);
  return narrow;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const std::wstring commandLine = GetCommandLineW();
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  GetStartupInfoW(&startup);
  wchar_t record[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"TEV_OTHER_RECORD", record, MAX_PATH)) {
    if (FILE* file = _wfopen(record, L"wb")) {
      const bool hidden = (startup.dwFlags & STARTF_USESHOWWINDOW) && startup.wShowWindow == SW_HIDE;
      wchar_t self[MAX_PATH] = {};
      GetModuleFileNameW(nullptr, self, MAX_PATH);
      const std::wstring moved = std::wstring(self) + L".moved";
      DWORD renamed = 0;
      if (MoveFileW(self, moved.c_str())) {
        MoveFileW(moved.c_str(), self);
      } else {
        renamed = GetLastError();
      }
      const std::string text = "command line: " + Utf8(commandLine) + "\nhidden: " + (hidden ? "yes" : "no") +
                               "\nrename: " + std::to_string(renamed) + "\n";
      fwrite(text.data(), 1, text.size(), file);
      fclose(file);
    }
  }
  const std::size_t at = commandLine.find(L"EXIT=");
  return at == std::wstring::npos ? 0 : static_cast<int>(std::wcstoul(commandLine.c_str() + at + 5, nullptr, 10));
}
