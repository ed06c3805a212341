#include "text.h"

#include <windows.h>

namespace TevMSI {

int CompareNoCase(std::wstring_view a, std::wstring_view b, std::size_t* index) {
  const auto fold = [](wchar_t c) {
    return static_cast<unsigned>((c >= L'A' && c <= L'Z') ? c - L'A' + L'a' : c) & 0xFFFFu;
  };
  std::size_t i = 0;
  int units = 0;
  for (; i < a.size() && i < b.size(); ++i) {
    const unsigned x = fold(a[i]);
    const unsigned y = fold(b[i]);
    if (x != y) {
      units = x < y ? -1 : 1;
      break;
    }
  }
  if (index) *index = i;
  // Length decides first; the units only order strings of equal length.
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return units;
}

std::wstring ExpandEnvironment(const std::wstring& text) {
  const DWORD size = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
  if (size == 0) return text;
  std::wstring expanded(size - 1, L'\0');
  const DWORD written = ExpandEnvironmentStringsW(text.c_str(), expanded.data(), size);
  if (written == 0 || written > size) return text;  // the environment changed between the calls
  expanded.resize(written - 1);
  return expanded;
}

}  // namespace TevMSI
