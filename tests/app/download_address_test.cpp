#include "app/download_address.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(DownloadAddressTest, OnlyTheHttpsSchemeCountsAsHttps) {
  struct Case {
    const char* name;
    const wchar_t* address;
    bool https;
  } const cases[] = {
      {"https", L"https://localhost:8443/m.json", true},
      {"upper case", L"HTTPS://LOCALHOST/m.json", true},
      {"mixed case", L"hTtPs://h/", true},
      {"http", L"http://localhost/m.json", false},
      {"one slash", L"https:/localhost/m.json", false},
      {"longer scheme", L"httpsx://h/m.json", false},
      {"leading blank", L" https://h/m.json", false},
      {"ftp", L"ftp://h/m.json", false},
      {"scheme cut short", L"https:", false},
      {"empty", L"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Tevrian::IsHttpsAddress(c.address), c.https);
  }
}

TEST(DownloadAddressTest, LastPathElementIsTheFileTheAddressNames) {
  struct Case {
    const char* name;
    const wchar_t* address;
    const wchar_t* element;
  } const cases[] = {
      {"plain", L"https://h:1/launchers/Other.exe", L"Other.exe"},
      {"query and fragment are not part of the path", L"https://h/a/Other.exe?v=2#top", L"Other.exe"},
      {"a query with a slash", L"https://h/Other.exe?next=/x/y.exe", L"Other.exe"},
      {"backslash separates too", L"https://h/a\\Other.exe", L"Other.exe"},
      {"trailing separator names no file", L"https://h/launchers/", L""},
      {"host alone names no file", L"https://h", L""},
      {"host with a query names no file", L"https://h?x=/a.exe", L""},
      {"root alone names no file", L"https://h/", L""},
      {"a parent step stays as it is, for the name check", L"https://h/a/..", L".."},
      {"no scheme: the last element of the text", L"dir\\sub\\Other.exe", L"Other.exe"},
      {"empty", L"", L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Tevrian::LastPathElement(c.address), c.element);
  }
}

}  // namespace
