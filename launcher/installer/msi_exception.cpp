#include "msi_exception.h"

#include <windows.h>

#include <cwchar>

namespace TevMSI {

std::wstring SystemMessage(std::uint32_t code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, code,
      MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
  std::wstring text = (length && buffer) ? std::wstring(buffer, length) : std::wstring();
  if (buffer) LocalFree(buffer);
  return text;
}

CMsiException ErrorAtPath(std::int32_t code, const std::wstring& path) {
  std::wstring text = ErrorText(CMsiException(code));
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
  return CMsiException(code, text + L"\n" + path);
}

std::wstring ErrorText(const CMsiException& error) {
  if (!error.Message().empty()) return error.Message();
  const auto code = static_cast<std::uint32_t>(error.Code());
  std::wstring text = SystemMessage(code);
  if (!text.empty()) return text;
  const bool win32 = error.Code() >= 0 || ((code >> 16) & 0x1FFF) == FACILITY_WIN32;
  wchar_t buffer[64];
  if (win32) {
    swprintf(buffer, 64, L"エラーが発生しました(%u)。", code & 0xFFFF);
  } else {
    swprintf(buffer, 64, L"エラーが発生しました(0x%08X)。", code);
  }
  return buffer;
}

}  // namespace TevMSI
