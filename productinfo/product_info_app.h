// The library's application object: lives from the library's load to its unload and holds the
// connection to the outside log library, LWLog64.dll, for that whole time.
#pragma once

#include <windows.h>

#include <fmt/xchar.h>

#include <string>
#include <utility>

#include "installer/unique_handle.h"

namespace ProductInfo {

class CProductInfoApp {
 public:
  // Connects to LWLog64.dll when it can be found; without it the library works the same, silently.
  CProductInfoApp();
  CProductInfoApp(const CProductInfoApp&) = delete;
  CProductInfoApp& operator=(const CProductInfoApp&) = delete;

  // Sends "[number]text" to the log library. Without one nothing is done, not even the formatting.
  // A line that cannot be built (out of memory) is dropped: logging never changes a result.
  template <class... Args>
  void Log(int number, fmt::wformat_string<Args...> format, Args&&... args) const noexcept {
    if (m_writeLog == nullptr) return;
    try {
      const std::wstring line = fmt::format(L"[{}]{}", number, fmt::format(format, std::forward<Args>(args)...));
      m_writeLog(line.c_str());
    } catch (...) {
    }
  }

 private:
  // Whatever LWL_WriteLog returns is ignored, so it is called as returning nothing.
  using WriteLogFunction = void (*)(const wchar_t* line);

  TevMSI::CModule m_logLibrary;
  WriteLogFunction m_writeLog = nullptr;
};

extern CProductInfoApp theApp;

}  // namespace ProductInfo
