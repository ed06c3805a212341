#include "file_names.h"

#include <string_view>

#include "../shared/text_template.h"

namespace Tevrian {

void SanitizeFileName(std::wstring& text) {
  constexpr std::wstring_view kReplaced = L"\\/:*?\"<>| \t;";
  for (wchar_t& c : text) {
    if (c < 0x20 || c == 0x7F || kReplaced.find(c) != std::wstring_view::npos) c = L'_';
  }
}

std::wstring LogFileName(std::wstring packageName, const LocalTime& t, std::size_t maxLength) {
  SanitizeFileName(packageName);
  const std::wstring stamp = FormatText(L"_{0}-{1:02d}-{2:02d}-{3:02d}-{4:02d}-{5:02d}.log", t.year, t.month, t.day,
                                        t.hour, t.minute, t.second);
  if (stamp.size() > maxLength) return {};
  std::size_t room = maxLength - stamp.size();
  if (packageName.size() > room) {
    // Never leave half of a surrogate pair at the cut.
    if (room > 0 && packageName[room - 1] >= 0xD800 && packageName[room - 1] <= 0xDBFF) --room;
    packageName.resize(room);
  }
  return packageName + stamp;
}

}  // namespace Tevrian
