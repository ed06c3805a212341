// Paths of the Linux build folder as Windows programs under Wine see them (drive Z: is "/").
#pragma once

#include <string>

namespace TevTest {

inline std::wstring WinePath(const char* unixPath) {
  std::wstring path = L"Z:";
  for (const char* p = unixPath; *p; ++p) path += (*p == '/') ? L'\\' : static_cast<wchar_t>(*p);
  return path;
}

}  // namespace TevTest
