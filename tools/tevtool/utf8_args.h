// tevtool's UTF-8 arguments as the wide strings of Windows calls (the way back is text_utf8.h).
#pragma once

#include <string>

#include "../../launcher/json/utf8.h"
#include "text_utf8.h"

namespace TevTool {

inline std::wstring Wide(const std::string& text) {
  std::wstring wide;
  Tevrian::JSON::AppendUtf8AsUtf16(wide, text);
  return wide;
}

}  // namespace TevTool
