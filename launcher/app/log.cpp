#include "log.h"

#include "../shared/text_template.h"

namespace Tevrian {

std::wstring LogTimePrefix(const LocalTime& t) {
  return FormatText(L"[{0:04d}-{1:02d}-{2:02d}-{3:02d}-{4:02d}-{5:02d}]", t.year, t.month, t.day, t.hour, t.minute,
                    t.second);
}

CLog::CLog(Clock clock, Appender appender) : m_clock(std::move(clock)), m_appender(std::move(appender)) {}

void CLog::WriteLog(std::wstring_view message) {
  std::wstring line = LogTimePrefix(m_clock());
  line += message;
  std::lock_guard lock(m_lock);
  if (m_logFilePath.empty()) {
    m_pendingLogLines.push_back(std::move(line));
    return;
  }
  // The waiting lines go with this one, or are dropped with it when the file cannot be opened.
  std::vector<std::wstring> lines(std::make_move_iterator(m_pendingLogLines.begin()),
                                  std::make_move_iterator(m_pendingLogLines.end()));
  m_pendingLogLines.clear();
  lines.push_back(std::move(line));
  m_appender(m_logFilePath, lines);
}

void CLog::SetLogFilePath(std::wstring path) {
  std::lock_guard lock(m_lock);
  m_logFilePath = std::move(path);
}

std::wstring CLog::LogFilePath() const {
  std::lock_guard lock(m_lock);
  return m_logFilePath;
}

std::list<std::wstring> CLog::PendingLines() const {
  std::lock_guard lock(m_lock);
  return m_pendingLogLines;
}

}  // namespace Tevrian
