#include "nearest_name.h"

#include <gtest/gtest.h>

#include <array>

namespace TevTool {
namespace {

TEST(NearestName, SuggestsOnlyLikelyMisspellings) {
  using namespace std::string_view_literals;
  constexpr std::array known = {"DownloadUrl"sv, "Name"sv, "Size"sv, "Hash"sv, "success"sv, "scheduleReboot"sv};
  const struct {
    const char* written;
    const char* expected;
  } cases[] = {
      {"DownloadURL", "DownloadUrl"},  // letter case alone
      {"Success", "success"},
      {"DownlodUrl", "DownloadUrl"},  // one letter missing
      {"Sise", "Size"},
      {"ScheduleRebot", "scheduleReboot"},
      {"Payloads", ""},  // nothing like it
      {"X", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(NearestName(c.written, known), c.expected) << c.written;
}

}  // namespace
}  // namespace TevTool
