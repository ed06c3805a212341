#include "log_file.h"

#include <windows.h>

#include <share.h>
#include <stdio.h>

#include <memory>

namespace Tevrian {
namespace {

// Characters the code page cannot hold become the code page's default character ("?"), never a
// best-fit look-alike ("Ä" is not "A"), so a line is never lost for one character and never lies.
std::string ToAnsi(const std::wstring& text) {
  if (text.empty()) return {};
  const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), narrow.data(), length,
                      nullptr, nullptr);
  return narrow;
}

struct FileCloser {
  void operator()(FILE* file) const { fclose(file); }
};

}  // namespace

LocalTime CurrentLocalTime() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

bool AppendLogLines(const std::wstring& path, const std::vector<std::wstring>& lines) {
  // Text mode turns each line break into CR LF; shared so that others can read the log meanwhile.
  std::unique_ptr<FILE, FileCloser> file(_wfsopen(path.c_str(), L"a", _SH_DENYNO));
  if (!file) return false;
  for (const std::wstring& line : lines) {
    const std::string narrow = ToAnsi(line);
    fwrite(narrow.data(), 1, narrow.size(), file.get());
    fputc('\n', file.get());
    fflush(file.get());
  }
  return true;
}

std::wstring CreateNewLogFile(const std::wstring& folder, const std::wstring& name) {
  const std::wstring stem = name.substr(0, name.size() - 4);  // without ".log"
  for (int number = 1; number <= 99; ++number) {
    const std::wstring path = folder + stem + (number == 1 ? L"" : L"(" + std::to_wstring(number) + L")") + L".log";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      CloseHandle(file);
      return path;
    }
    const DWORD error = GetLastError();
    // No new file can be made (a missing folder, no access): the writes will fail the same way.
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return folder + name;
  }
  return {};  // every name is taken by a file that is not this run's
}

}  // namespace Tevrian
