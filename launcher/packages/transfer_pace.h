// How long a download may wait and how slow it may go. The platform's own time-outs differ between
// systems (one of them waits for ever for a name to resolve) and none of them ends a server that
// sends a byte now and then, so the downloader sets each limit itself. The rules are kept apart
// from the network, on a clock in milliseconds that the caller gives, so that a test can drive them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace Tevrian {

// Where a request was when a limit ended it.
enum class HttpPhase {
  Request,   // resolving the name, connecting, sending the request
  Response,  // waiting for the response's headers
  Body,      // receiving the body
};

// The limits set on every WinHTTP call, in milliseconds.
struct HttpTimeouts {
  static constexpr int kResolve = 30'000;
  static constexpr int kConnect = 30'000;
  static constexpr int kSend = 30'000;
  // Each read of the body: no byte for this long ends the transfer.
  static constexpr int kReceive = 30'000;
  // The response's headers, from the end of the request.
  static constexpr int kResponse = 60'000;
};

// The log line for a call of `phase` that ran into its time-out.
std::wstring TimedOutText(HttpPhase phase);

// The limits of the transfer as a whole: the headers must come within kAnswerLimitMs (above the
// calls' own time-outs: it ends a request the platform lets wait longer), and the body must arrive
// at kFloorBytesPerSecond at least, measured over each window of kWindowMs. Time the run spends
// held (a message box of the progress dialog is open) does not count: the window starts anew.
class CTransferPace {
 public:
  static constexpr std::uint64_t kAnswerLimitMs = 150'000;
  static constexpr std::uint64_t kWindowMs = 60'000;
  static constexpr std::uint64_t kFloorBytesPerSecond = 1024;

  explicit CTransferPace(std::uint64_t nowMs) : m_start(nowMs) {}

  void Answered(std::uint64_t nowMs);
  void Received(std::uint64_t bytes) { m_windowBytes += bytes; }
  // After the run was held: the window starts again from `nowMs`.
  void Resumed(std::uint64_t nowMs);
  // Nothing while the transfer may go on; otherwise the log line naming the limit it broke. Checked
  // only at the end of a window, so that a transfer is judged on a whole window.
  std::optional<std::wstring> Exceeded(std::uint64_t nowMs);
  // How long the caller may wait for the transfer before the next check is due.
  std::uint64_t MsUntilCheck(std::uint64_t nowMs) const;

 private:
  std::uint64_t Deadline() const;

  std::uint64_t m_start;
  bool m_answered = false;
  std::uint64_t m_windowStart = 0;
  std::uint64_t m_windowBytes = 0;
};

}  // namespace Tevrian
