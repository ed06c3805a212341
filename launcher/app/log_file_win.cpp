#include "log_file.h"

#include <windows.h>

#include <share.h>
#include <stdio.h>

#include <memory>

namespace Tevrian {
namespace {

// Characters the code page cannot hold become the code page's default character ("?"), so a
// line is never lost for one character.
std::string ToAnsi(const std::wstring& text) {
  if (text.empty()) return {};
  const int length =
      WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length, nullptr, nullptr);
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

}  // namespace Tevrian
