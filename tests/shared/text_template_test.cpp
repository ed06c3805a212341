#include "shared/text_template.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

using Tevrian::FormatText;

TEST(FormatTextTest, Placeholders) {
  EXPECT_EQ(FormatText(L"{0}-{1}", L"text", 42), L"text-42");
  EXPECT_EQ(FormatText(L"{0}", -5), L"-5");
  EXPECT_EQ(FormatText(L"{0}", true), L"true");
  EXPECT_EQ(FormatText(L"{0}|{1}", false, std::wstring(L"w")), L"false|w");
  EXPECT_EQ(FormatText(L"{1:02d}/{0:04d}", 7u, 3u), L"03/0007");
}

TEST(FormatTextTest, HexShowsTheUnsigned32BitPattern) {
  EXPECT_EQ(FormatText(L"{0:08X}", 87), L"00000057");
  EXPECT_EQ(FormatText(L"{0:08X}", -2146762496), L"800B0100");
  EXPECT_EQ(FormatText(L"{0:08X}", 0x80096010u), L"80096010");
}

TEST(FormatTextTest, OnePlaceholderTwiceInDecimalAndHex) {
  EXPECT_EQ(FormatText(L"ExitCode={0}(0x{0:08X})", 1602), L"ExitCode=1602(0x00000642)");
  EXPECT_EQ(FormatText(L"ExitCode={0}(0x{0:08X})", static_cast<std::int32_t>(0x80070005u)),
            L"ExitCode=-2147024891(0x80070005)");
}

TEST(FormatTextTest, UnsignedStaysUnsignedInDecimal) { EXPECT_EQ(FormatText(L"{0}", 4294967295u), L"4294967295"); }

}  // namespace
