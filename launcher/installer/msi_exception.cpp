#include "msi_exception.h"

#include <windows.h>

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

}  // namespace TevMSI
