// The download's own limits of time and pace, driven by a clock of the test's own.
#include <gtest/gtest.h>

#include "transfer_pace.h"

namespace {

using Tevrian::CTransferPace;

constexpr std::uint64_t kStart = 1'000'000;
constexpr std::uint64_t kWindow = CTransferPace::kWindowMs;
constexpr std::uint64_t kFloor = CTransferPace::kFloorBytesPerSecond * (kWindow / 1000);

TEST(TransferPace, HeadersMustComeWithinTheAnswerLimit) {
  CTransferPace pace(kStart);
  EXPECT_EQ(pace.MsUntilCheck(kStart), CTransferPace::kAnswerLimitMs);
  EXPECT_FALSE(pace.Exceeded(kStart + CTransferPace::kAnswerLimitMs - 1));
  EXPECT_EQ(pace.Exceeded(kStart + CTransferPace::kAnswerLimitMs),
            L"Download stopped: no answer from the server within 150 s");
}

TEST(TransferPace, EachWindowMustCarryTheFloor) {
  struct Case {
    const char* name;
    std::uint64_t bytes;  // received in the first window
    bool stopped;
  } const kCases[] = {
      {"nothing at all", 0, true},
      {"a byte now and then", 3, true},
      {"one byte short of the floor", kFloor - 1, true},
      {"exactly the floor", kFloor, false},
      {"a fast line", 100 * kFloor, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    CTransferPace pace(kStart);
    pace.Answered(kStart + 500);
    pace.Received(c.bytes);
    EXPECT_FALSE(pace.Exceeded(kStart + 500 + kWindow - 1)) << "judged before its window ended";
    EXPECT_EQ(pace.Exceeded(kStart + 500 + kWindow).has_value(), c.stopped);
  }
}

TEST(TransferPace, AWindowIsJudgedOnItsOwnBytes) {
  CTransferPace pace(kStart);
  pace.Answered(kStart);
  pace.Received(10 * kFloor);
  EXPECT_FALSE(pace.Exceeded(kStart + kWindow));
  // The fast first minute does not carry a stalled second one.
  EXPECT_EQ(pace.MsUntilCheck(kStart + kWindow), kWindow);
  pace.Received(5);
  EXPECT_EQ(pace.Exceeded(kStart + 2 * kWindow),
            L"Download stopped: 5 bytes in the last 60 s, below the floor of 1024 bytes per second");
}

TEST(TransferPace, TimeHeldByAMessageBoxDoesNotCount) {
  CTransferPace pace(kStart);
  pace.Answered(kStart);
  pace.Received(10);
  // The user read a box for five minutes; the window starts again when the run goes on.
  const std::uint64_t resumed = kStart + 5 * kWindow;
  pace.Resumed(resumed);
  EXPECT_FALSE(pace.Exceeded(resumed + 1));
  EXPECT_EQ(pace.MsUntilCheck(resumed + 1), kWindow - 1);
  pace.Received(kFloor);
  EXPECT_FALSE(pace.Exceeded(resumed + kWindow));
}

}  // namespace
