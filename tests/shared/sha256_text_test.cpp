// The manifest's SHA-256 text: exactly 64 hexadecimal digits of either case, and back.
#include "shared/sha256_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace Tevrian;

const std::string kAbc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

TEST(Sha256TextTest, ReadsOnlyWhole64DigitTexts) {
  const struct {
    const char* name;
    std::string text;
    bool read;
  } cases[] = {
      {"lower case", kAbc, true},
      {"upper case", "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD", true},
      {"one digit short", kAbc.substr(1), false},
      {"one digit more", kAbc + "0", false},
      {"a letter past f", "g" + kAbc.substr(1), false},
      {"blank inside", kAbc.substr(0, 10) + " " + kAbc.substr(11), false},
      {"0x prefix", "0x" + kAbc.substr(2), false},
      {"empty", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto digest = ParseSha256(std::string_view(c.text));
    ASSERT_EQ(digest.has_value(), c.read);
    if (c.read) {
      EXPECT_EQ(Sha256Text(*digest), kAbc);
    }
  }
  const std::wstring wide(kAbc.begin(), kAbc.end());
  EXPECT_EQ(ParseSha256(std::wstring_view(wide)), ParseSha256(std::string_view(kAbc)));
  // A wide character whose low byte is a digit is no digit.
  std::wstring disguised = wide;
  disguised[0] = static_cast<wchar_t>(0x0100 + L'b');
  EXPECT_FALSE(ParseSha256(std::wstring_view(disguised)).has_value());
}

}  // namespace
