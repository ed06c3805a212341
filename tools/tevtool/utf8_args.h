// tevtool's UTF-8 arguments as the wide strings of Windows calls (the way back is text_utf8.h).
#pragma once

#include <windows.h>

#include <string>

#include "text_utf8.h"

namespace TevTool {

inline std::wstring Wide(const std::string& text) {
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

}  // namespace TevTool
