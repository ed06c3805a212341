#include "download_address.h"

namespace Tevrian {
namespace {

constexpr std::wstring_view kSchemeEnd = L"://";

bool IsPathSeparator(wchar_t c) { return c == L'/' || c == L'\\'; }

}  // namespace

bool IsHttpsAddress(std::wstring_view address) {
  constexpr std::wstring_view kScheme = L"https://";
  if (address.size() < kScheme.size()) return false;
  for (std::size_t i = 0; i < kScheme.size(); ++i) {
    wchar_t c = address[i];
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    if (c != kScheme[i]) return false;
  }
  return true;
}

std::wstring LastPathElement(std::wstring_view address) {
  // The query and the fragment are never sent, so they name nothing.
  address = address.substr(0, address.find_first_of(L"?#"));
  // Without a scheme the whole text is the path; with one, the host is not a file name.
  std::size_t pathStart = 0;
  if (const std::size_t schemeEnd = address.find(kSchemeEnd); schemeEnd != std::wstring_view::npos) {
    pathStart = schemeEnd + kSchemeEnd.size();
    while (pathStart < address.size() && !IsPathSeparator(address[pathStart])) ++pathStart;
    if (pathStart == address.size()) return {};
  }
  std::size_t start = address.size();
  while (start > pathStart && !IsPathSeparator(address[start - 1])) --start;
  return std::wstring(address.substr(start));
}

}  // namespace Tevrian
