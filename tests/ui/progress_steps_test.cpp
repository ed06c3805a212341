#include "progress_steps.h"

#include <cstdint>
#include <initializer_list>

#include <gtest/gtest.h>

namespace Tevrian {
namespace {

struct Case {
  const char* name;
  std::uint32_t total;
  std::initializer_list<std::uint32_t> advances;
  std::int32_t rangeMax;
  std::uint32_t step;
  std::int32_t position;
  bool lastChanged;  // whether the last Advance moved the bar
};

const Case kCases[] = {
    {"a large total is shown in 1000 positions", 2500, {}, 1000, 0, 0, false},
    {"half of a large total is position 500", 2500, {1250}, 1000, 1250, 500, true},
    {"beyond the total stops at the total", 2500, {2000, 2000}, 1000, 2500, 1000, true},
    {"a count beyond 32 bits of step does not wrap", 2500, {2000, 0xFFFFFFFFu}, 1000, 2500, 1000, true},
    {"advancing by 0 changes nothing", 2500, {1250, 0}, 1000, 1250, 500, false},
    {"steps too small to move the bar send nothing", 2500, {1}, 1000, 1, 0, false},
    {"rounding to nearest: 3 of 2500 is 1.2, position 1", 2500, {3}, 1000, 3, 1, true},
    {"rounding to nearest: 5 of 4000 is 1.25, position 1", 4000, {5}, 1000, 5, 1, true},
    {"rounding to nearest: 6 of 4000 is 1.5, position 2", 4000, {6}, 1000, 6, 2, true},
    {"a small total is one position per step", 3, {1}, 3, 1, 1, true},
    {"a small total ends full", 3, {1, 1, 1}, 3, 3, 3, true},
    {"a total of 1000 is one position per step", 1000, {999}, 1000, 999, 999, true},
    {"a total of 0 shows an empty bar of range 0..1", 0, {}, 1, 0, 0, false},
    {"a total of 0 stays empty however far it advances", 0, {5}, 1, 0, 0, false},
    {"a total beyond 2^31 still gives positions within range",
     0xFFFFFFFFu,
     {0x80000000u},
     1000,
     0x80000000u,
     500,
     true},
    {"the largest total full", 0xFFFFFFFFu, {0xFFFFFFFFu}, 1000, 0xFFFFFFFFu, 1000, true},
};

TEST(ProgressStepsTest, RangeAndPosition) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    CProgressSteps steps;
    steps.SetTotal(c.total);
    bool changed = false;
    for (const std::uint32_t count : c.advances) changed = steps.Advance(count);
    EXPECT_EQ(steps.RangeMax(), c.rangeMax);
    EXPECT_EQ(steps.Step(), c.step);
    EXPECT_EQ(steps.Position(), c.position);
    EXPECT_EQ(changed, c.lastChanged);
    EXPECT_GE(steps.Position(), 0);
    EXPECT_LE(steps.Position(), steps.RangeMax());
  }
}

TEST(ProgressStepsTest, NewTotalStartsOver) {
  CProgressSteps steps;
  steps.SetTotal(10);
  steps.Advance(10);
  steps.SetTotal(2500);
  EXPECT_EQ(steps.Step(), 0u);
  EXPECT_EQ(steps.Position(), 0);
  EXPECT_EQ(steps.RangeMax(), 1000);
}

}  // namespace
}  // namespace Tevrian
