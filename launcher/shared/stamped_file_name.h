// Names of files the launcher makes from texts it is given (a package's name) and a stamp that
// must survive whole (a start time and an extension): the log file and each installer log.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace Tevrian {

// Replaces each character that a file name cannot hold, or that makes it awkward on a command
// line (\ / : * ? " < > | space tab ;), and every control character (a NUL would end the name
// where Windows reads it), with "_".
inline void SanitizeFileName(std::wstring& text) {
  constexpr std::wstring_view kReplaced = L"\\/:*?\"<>| \t;";
  for (wchar_t& c : text) {
    if (c < 0x20 || c == 0x7F || kReplaced.find(c) != std::wstring_view::npos) c = L'_';
  }
}

// `name`, made safe for a file name, then `stamp`, in at most `maxLength` characters: a long name is
// cut (never between the halves of a surrogate pair) so that the stamp always stays whole. Empty
// when not even the stamp fits.
inline std::wstring StampedFileName(std::wstring name, std::wstring_view stamp, std::size_t maxLength) {
  SanitizeFileName(name);
  if (stamp.size() > maxLength) return {};
  std::size_t room = maxLength - stamp.size();
  if (name.size() > room) {
    if (room > 0 && name[room - 1] >= 0xD800 && name[room - 1] <= 0xDBFF) --room;
    name.resize(room);
  }
  return name.append(stamp);
}

}  // namespace Tevrian
