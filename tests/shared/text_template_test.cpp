#include "app/text_template.h"

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

#include "app/file_names.h"

namespace {

TEST(FileNamesTest, SanitizeReplacesEachAwkwardCharacter) {
  std::wstring name = L"a\\b/c:d*e?f\"g<h>i|j k\tl;m.n-o_p日本";
  Tevrian::SanitizeFileName(name);
  EXPECT_EQ(name, L"a_b_c_d_e_f_g_h_i_j_k_l_m.n-o_p日本");
}

TEST(FileNamesTest, LogFileNameCarriesTheStartTime) {
  EXPECT_EQ(Tevrian::LogFileName(L"Setup A", {2024, 12, 8, 23, 5, 9}), L"Setup_A_2024-12-08-23-05-09.log");
  EXPECT_EQ(Tevrian::LogFileName(L"C:/x y", {987, 1, 2, 3, 4, 5}), L"C__x_y_987-01-02-03-04-05.log");
}

}  // namespace
