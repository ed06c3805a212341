#include "file_names.h"

#include <string_view>

#include "text_template.h"

namespace Tevrian {

void SanitizeFileName(std::wstring& text) {
  constexpr std::wstring_view kReplaced = L"\\/:*?\"<>| \t;";
  for (wchar_t& c : text) {
    if (kReplaced.find(c) != std::wstring_view::npos) c = L'_';
  }
}

std::wstring LogFileName(std::wstring packageName, const LocalTime& t) {
  SanitizeFileName(packageName);
  return packageName + FormatText(L"_{0}-{1:02d}-{2:02d}-{3:02d}-{4:02d}-{5:02d}.log", t.year, t.month, t.day, t.hour,
                                  t.minute, t.second);
}

}  // namespace Tevrian
