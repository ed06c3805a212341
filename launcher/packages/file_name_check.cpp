#include "file_name_check.h"

#include <array>
#include <cwctype>
#include <string_view>

#include "partial_file_name.h"

namespace Tevrian {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

std::wstring Upper(std::wstring_view text) {
  std::wstring upper(text);
  for (wchar_t& c : upper) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  return upper;
}

// Windows opens a device for these names in every folder, with any extension ("NUL.txt").
bool IsDeviceName(std::wstring_view part) {
  const std::wstring stem = Upper(part.substr(0, part.find(L'.')));
  static constexpr std::array<std::wstring_view, 6> kDevices = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
  for (const auto device : kDevices) {
    if (stem == device) return true;
  }
  // COM1..COM9 and LPT1..LPT9, the superscript digits included.
  if (stem.size() == 4 && (stem.starts_with(L"COM") || stem.starts_with(L"LPT"))) {
    const wchar_t digit = stem[3];
    return (digit >= L'1' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3';
  }
  return false;
}

std::wstring Quoted(std::wstring_view text) { return L"\"" + std::wstring(text) + L"\""; }

std::wstring PartReason(std::wstring_view part) {
  if (part.empty()) return L"it has an empty folder name";
  if (part == L"..") return L"it climbs out of its folder with \"..\"";
  if (part == L".") return L"it has a \".\" folder name";
  // Windows drops trailing dots and blanks, so the name would stand for another.
  if (part.back() == L'.' || part.back() == L' ') return L"the part " + Quoted(part) + L" ends with a dot or a blank";
  if (IsDeviceName(part)) return L"the part " + Quoted(part) + L" names a device";
  return {};
}

}  // namespace

std::wstring UnsafeFileNameReason(const std::wstring& name) {
  if (name.empty()) return L"it is empty";
  if (IsSeparator(name.front())) return L"it is rooted (it starts with a path separator)";
  for (const wchar_t c : name) {
    if (c < 0x20) return L"it holds a control character";
    // ':' is a drive ("C:x") or an alternate data stream ("x.exe:s"); the others are wildcards or
    // characters no file name may hold.
    if (std::wstring_view(L":*?\"<>|").find(c) != std::wstring_view::npos) {
      return L"it holds the character " + Quoted(std::wstring(1, c));
    }
  }
  std::size_t start = 0;
  for (;;) {
    std::size_t end = start;
    while (end < name.size() && !IsSeparator(name[end])) ++end;
    if (std::wstring reason = PartReason(std::wstring_view(name).substr(start, end - start)); !reason.empty()) {
      return reason;
    }
    if (end == name.size()) break;
    start = end + 1;
  }
  const std::wstring partialSuffix = PartialFilePath(L"");
  if (name.size() >= partialSuffix.size() &&
      Upper(std::wstring_view(name).substr(name.size() - partialSuffix.size())) == Upper(partialSuffix)) {
    return L"it ends with " + Quoted(partialSuffix) + L", the launcher's name for a file being written";
  }
  return {};
}

}  // namespace Tevrian
