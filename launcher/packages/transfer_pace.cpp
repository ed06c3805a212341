#include "transfer_pace.h"

#include "../shared/text_template.h"

namespace Tevrian {

std::wstring TimedOutText(HttpPhase phase) {
  switch (phase) {
    case HttpPhase::Request:
      return FormatText(
          L"Download stopped: no connection within the time-outs (resolve {0} s, connect {1} s, "
          L"send {2} s)",
          HttpTimeouts::kResolve / 1000, HttpTimeouts::kConnect / 1000, HttpTimeouts::kSend / 1000);
    case HttpPhase::Response:
      return FormatText(L"Download stopped: no response from the server within {0} s", HttpTimeouts::kResponse / 1000);
    case HttpPhase::Body:
      break;
  }
  return FormatText(L"Download stopped: no data from the server for {0} s", HttpTimeouts::kReceive / 1000);
}

void CTransferPace::Answered(std::uint64_t nowMs) {
  m_answered = true;
  Resumed(nowMs);
}

void CTransferPace::Resumed(std::uint64_t nowMs) {
  m_windowStart = nowMs;
  m_windowBytes = 0;
}

std::uint64_t CTransferPace::Deadline() const {
  return m_answered ? m_windowStart + kWindowMs : m_start + kAnswerLimitMs;
}

std::optional<std::wstring> CTransferPace::Exceeded(std::uint64_t nowMs) {
  if (nowMs < Deadline()) return std::nullopt;
  if (!m_answered) {
    return FormatText(L"Download stopped: no answer from the server within {0} s", kAnswerLimitMs / 1000);
  }
  const std::uint64_t floor = kFloorBytesPerSecond * (kWindowMs / 1000);
  if (m_windowBytes < floor) {
    return FormatText(L"Download stopped: {0} bytes in the last {1} s, below the floor of {2} bytes per second",
                      m_windowBytes, (nowMs - m_windowStart) / 1000, kFloorBytesPerSecond);
  }
  Resumed(nowMs);
  return std::nullopt;
}

std::uint64_t CTransferPace::MsUntilCheck(std::uint64_t nowMs) const {
  const std::uint64_t deadline = Deadline();
  return nowMs < deadline ? deadline - nowMs : 0;
}

}  // namespace Tevrian
