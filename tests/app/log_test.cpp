#include "app/log.h"

#include <gtest/gtest.h>

#include <map>
#include <thread>

namespace {

using namespace Tevrian;

// An in-memory log file; a path can be made unwritable to stand for a missing folder.
struct FakeFiles {
  std::map<std::wstring, std::vector<std::wstring>> files;
  std::wstring unwritable;
  std::mutex lock;

  CLog::Appender Appender() {
    return [this](const std::wstring& path, const std::vector<std::wstring>& lines) {
      std::lock_guard guard(lock);
      if (path == unwritable) return false;
      auto& file = files[path];
      file.insert(file.end(), lines.begin(), lines.end());
      return true;
    };
  }
};

struct TickingClock {
  unsigned second = 0;
  CLog::Clock Clock() {
    return [this] { return LocalTime{2025, 3, 5, 7, 8, second++}; };
  }
};

TEST(LogTimePrefixTest, PadsEachField) {
  EXPECT_EQ(LogTimePrefix({2025, 3, 5, 7, 8, 9}), L"[2025-03-05-07-08-09]");
  EXPECT_EQ(LogTimePrefix({987, 12, 31, 23, 59, 59}), L"[0987-12-31-23-59-59]");
}

TEST(LogTest, LinesBeforeThePathWaitAndKeepTheirTimes) {
  FakeFiles files;
  TickingClock clock;
  CLog log(clock.Clock(), files.Appender());
  log.WriteLog(L"CommandLine=/quiet");
  log.WriteLog(L"second");
  EXPECT_TRUE(files.files.empty());
  EXPECT_EQ(log.PendingLines().size(), 2u);

  log.SetLogFilePath(L"C:\\Temp\\a.log");
  log.WriteLog(L"third");
  EXPECT_TRUE(log.PendingLines().empty());
  EXPECT_EQ(files.files[L"C:\\Temp\\a.log"],
            (std::vector<std::wstring>{L"[2025-03-05-07-08-00]CommandLine=/quiet", L"[2025-03-05-07-08-01]second",
                                       L"[2025-03-05-07-08-02]third"}));
}

TEST(LogTest, UnopenableFileDropsWaitingLinesAndRetriesLater) {
  FakeFiles files;
  TickingClock clock;
  CLog log(clock.Clock(), files.Appender());
  log.WriteLog(L"waiting");
  files.unwritable = L"X:\\missing\\a.log";
  log.SetLogFilePath(files.unwritable);
  log.WriteLog(L"lost");
  EXPECT_TRUE(log.PendingLines().empty());
  files.unwritable.clear();
  log.WriteLog(L"kept");
  EXPECT_EQ(files.files[L"X:\\missing\\a.log"], std::vector<std::wstring>{L"[2025-03-05-07-08-02]kept"});
}

TEST(LogTest, NeverSetPathKeepsLinesOnlyInMemory) {
  FakeFiles files;
  TickingClock clock;
  CLog log(clock.Clock(), files.Appender());
  log.WriteLog(L"a");
  EXPECT_TRUE(files.files.empty());
  EXPECT_EQ(log.PendingLines().size(), 1u);
}

TEST(LogTest, LinesFromTwoThreadsStayWhole) {
  FakeFiles files;
  CLog log([] { return LocalTime{2025, 1, 1, 0, 0, 0}; }, files.Appender());
  log.SetLogFilePath(L"a.log");
  const std::wstring lineA(200, L'a');
  const std::wstring lineB(200, L'b');
  auto writer = [&log](const std::wstring& line) {
    for (int i = 0; i < 500; ++i) log.WriteLog(line);
  };
  std::thread first(writer, lineA);
  std::thread second(writer, lineB);
  first.join();
  second.join();
  const auto& lines = files.files[L"a.log"];
  ASSERT_EQ(lines.size(), 1000u);
  for (const auto& line : lines) {
    const std::wstring body = line.substr(21);
    EXPECT_TRUE(body == lineA || body == lineB);
  }
}

}  // namespace
