// One GET's blocking WinHTTP calls on a thread of their own, so that the downloader waits for them
// with its own clock and its cancellation. Abandoning the transfer closes the request handle, which
// ends a blocked call on Windows; where the system does not end it (Wine's WinHTTP keeps waiting
// until its time-out), the downloader leaves all the same, and the thread ends once the call
// returns, touching nothing but the state it shares with the transfer.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "transfer_pace.h"
#include "winhttp_api.h"

namespace Tevrian {

class CHttpTransfer {
 public:
  struct Event {
    enum class Kind {
      None,       // nothing came within the wait
      Answered,   // the headers arrived: `status`, `length`
      Data,       // `data` holds the next bytes of the body
      Ended,      // the body is complete (or the status was not 200: nothing follows it)
      Failed,     // the call of `phase` failed with `error`
      Abandoned,  // Abandon was called
    };
    Kind kind = Kind::None;
    DWORD status = 0;
    std::optional<std::uint64_t> length;  // Content-Length, none for a chunked body
    std::vector<BYTE> data;
    DWORD error = 0;
    HttpPhase phase = HttpPhase::Request;
  };

  // Takes `request` (opened, not yet sent) and starts the transfer.
  explicit CHttpTransfer(HINTERNET request);
  // Abandons the transfer; waits a moment for its thread, and leaves it to end alone when a call
  // the system could not end still holds it.
  ~CHttpTransfer();
  CHttpTransfer(const CHttpTransfer&) = delete;
  CHttpTransfer& operator=(const CHttpTransfer&) = delete;

  // The next event, waiting at most `waitMs` for it.
  Event Next(std::uint64_t waitMs);
  // A buffer of a Data event, given back for the next reads.
  void Recycle(std::vector<BYTE> buffer);
  // From any thread, any number of times: closes the request and stops the transfer.
  void Abandon() noexcept;

 private:
  struct State;
  static void Run(const std::shared_ptr<State>& state, HINTERNET request);

  std::shared_ptr<State> m_state;
  std::thread m_thread;
};

}  // namespace Tevrian
