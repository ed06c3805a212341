// The run's log: one line per call, each prefixed with the local time. Lines written before the
// log file is known wait in memory and reach the file, in order, with the first line after it.
#pragma once

#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "../shared/local_time.h"

namespace Tevrian {

// "[2025-03-05-07-08-09]"
std::wstring LogTimePrefix(const LocalTime& time);

class CLog {
 public:
  using Clock = std::function<LocalTime()>;
  // Opens the file for appending, writes each line followed by a line break, closes it; false
  // when the file cannot be opened. Each call stands alone so the file is complete at every moment.
  using Appender = std::function<bool(const std::wstring& path, const std::vector<std::wstring>& lines)>;

  CLog(Clock clock, Appender appender);

  // Safe from any thread: the lock keeps lines whole when the dialog and the chain's task write
  // at the same time.
  void WriteLog(std::wstring_view message);

  void SetLogFilePath(std::wstring path);
  std::wstring LogFilePath() const;
  std::list<std::wstring> PendingLines() const;

 private:
  Clock m_clock;
  Appender m_appender;
  mutable std::mutex m_lock;
  std::wstring m_logFilePath;
  std::list<std::wstring> m_pendingLogLines;
};

}  // namespace Tevrian
