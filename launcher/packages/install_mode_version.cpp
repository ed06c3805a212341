#include "install_mode_version.h"

#include <cstddef>
#include <cstdint>

namespace Tevrian {
namespace {

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }
bool IsSpace(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }
wchar_t Folded(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

// wcstol on Windows: leading white space and one sign, then decimal digits, clamped to the
// 32-bit range. Without digits it gives 0 and leaves `pos` where it was.
std::int32_t ReadNumber(std::wstring_view text, std::size_t& pos) {
  std::size_t p = pos;
  while (p < text.size() && IsSpace(text[p])) ++p;
  bool negative = false;
  if (p < text.size() && (text[p] == L'+' || text[p] == L'-')) negative = text[p++] == L'-';
  if (p >= text.size() || !IsDigit(text[p])) return 0;
  std::int64_t value = 0;
  for (; p < text.size() && IsDigit(text[p]); ++p) {
    if (value <= INT32_MAX) value = value * 10 + (text[p] - L'0');
  }
  pos = p;
  if (negative) value = -value;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

void SkipToDigit(std::wstring_view text, std::size_t& pos) {
  while (pos < text.size() && !IsDigit(text[pos])) ++pos;
}

bool EqualNoCase(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Folded(a[i]) != Folded(b[i])) return false;
  }
  return true;
}

}  // namespace

int CompareInstalledVersion(std::wstring_view installed, std::wstring_view package) {
  if (EqualNoCase(installed, package)) return 0;
  std::size_t i = 0;
  std::size_t p = 0;
  for (;;) {
    const std::int32_t a = ReadNumber(installed, i);
    const std::int32_t b = ReadNumber(package, p);
    // Compared, not subtracted: the difference of two 32-bit numbers may not fit in one.
    if (a != b) return a < b ? -1 : 1;
    SkipToDigit(installed, i);
    SkipToDigit(package, p);
    const bool installedMore = i < installed.size();
    const bool packageMore = p < package.size();
    if (installedMore && packageMore) continue;
    if (installedMore) return 1;
    if (packageMore) return -1;
    return 0;
  }
}

}  // namespace Tevrian
