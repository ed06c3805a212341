// The installed-against-package version order that decides between a reinstall and a plain install.
#include <gtest/gtest.h>

#include "install_mode_version.h"

namespace {

using Tevrian::CompareInstalledVersion;

int Sign(int value) { return (value > 0) - (value < 0); }

TEST(CompareInstalledVersion, OrdersBothWays) {
  struct Case {
    const char* name;
    const wchar_t* installed;
    const wchar_t* package;
    int expected;  // sign of installed against package
  } const kCases[] = {
      {"equal texts", L"1.0.0", L"1.0.0", 0},
      {"equal ignoring case", L"1.0.0-RC", L"1.0.0-rc", 0},
      {"first field decides", L"2.0", L"1.9", 1},
      {"numbers, not text", L"1.10", L"1.9", 1},
      {"package has more", L"2.0", L"2.0.1", -1},
      {"package has more zeros only", L"2.0", L"2.0.0", -1},
      {"installed has more", L"1.2.3.4", L"1.2.3", 1},
      {"trailing separator alone is no field", L"1", L"1.", 0},
      {"any separator", L"1-2_3", L"1.2.3", 0},
      {"leading zeros", L"01.002", L"1.2", 0},
      {"a leading letter reads as 0", L"v1.2", L"1.2", -1},
      {"letters on both sides skipped", L"v1.2", L"V1.3", -1},
      {"empty against a version", L"", L"1.0", -1},
      {"empty reads as zero", L"", L"0", 0},
      {"sign at the start counts", L"-1.0", L"0.0", -1},
      {"sign after a separator is skipped", L"1.-2", L"1.2", 0},
      {"leading blank skipped", L" 3", L"3", 0},
      {"big numbers clamp to the 32-bit range", L"99999999999", L"2147483647", 0},
      {"extremes do not overflow", L"2147483647", L"-2147483648", 1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Sign(CompareInstalledVersion(c.installed, c.package)), c.expected);
    EXPECT_EQ(Sign(CompareInstalledVersion(c.package, c.installed)), -c.expected);
  }
}

}  // namespace
