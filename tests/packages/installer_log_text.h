// Installer command lines as the tests compare them.
#pragma once

#include <string>

namespace TevTest {

// The installer log file's time replaced by <time>, so that a command line can be compared exactly.
inline std::wstring WithoutTime(std::wstring text) {
  const std::size_t at = text.find(L"_MSI_");
  if (at != std::wstring::npos && at + 5 + 19 <= text.size()) text.replace(at + 5, 19, L"<time>");
  return text;
}

}  // namespace TevTest
