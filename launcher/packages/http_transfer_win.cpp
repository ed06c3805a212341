#include "http_transfer_win.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <utility>

namespace Tevrian {
namespace {

constexpr DWORD kReadSize = 8192;
// Bytes read ahead of the writer, at most: enough to keep the connection busy while the file is
// written, little enough that a held run holds little memory.
constexpr std::size_t kMaxQueuedReads = 64;
// How long the destructor waits for a thread whose call was just cancelled.
constexpr auto kLeaveAfter = std::chrono::milliseconds(1000);

constexpr DWORD kSocketTimedOut = 10060;  // WSAETIMEDOUT

// The platform's time-out error for a time-out, whichever layer reported it (Wine's WinHTTP passes
// the socket's own error up).
DWORD CallError() {
  const DWORD error = GetLastError();
  if (error == kSocketTimedOut) return ERROR_WINHTTP_TIMEOUT;
  return error;
}

// The body length the response announces; none for a chunked body. The text form is read rather
// than the 32-bit number, so that a length beyond 4 GiB is not cut.
std::optional<std::uint64_t> AnnouncedLength(HINTERNET request) {
  wchar_t text[32] = {};
  DWORD size = sizeof(text);
  if (!Http::QueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, text, &size,
                          WINHTTP_NO_HEADER_INDEX)) {
    return std::nullopt;
  }
  wchar_t* end = nullptr;
  const unsigned long long length = std::wcstoull(text, &end, 10);
  if (end == text || *end != L'\0') return std::nullopt;
  return length;
}

}  // namespace

struct CHttpTransfer::State {
  std::mutex lock;
  std::condition_variable changed;
  HINTERNET request = nullptr;  // closed once, by Abandon
  bool abandoned = false;
  bool finished = false;
  std::deque<Event> events;
  std::size_t queuedReads = 0;
  std::vector<std::vector<BYTE>> spare;

  // Whether the thread may make its next call: never once the transfer was abandoned, so that it
  // never calls with a handle that was closed.
  bool MayCall() {
    std::lock_guard hold(lock);
    return !abandoned;
  }
  void Push(Event event) {
    std::lock_guard hold(lock);
    if (event.kind == Event::Kind::Data) ++queuedReads;
    events.push_back(std::move(event));
    changed.notify_all();
  }
  void Fail(DWORD error, HttpPhase phase) {
    Event event;
    event.kind = Event::Kind::Failed;
    event.error = error;
    event.phase = phase;
    Push(std::move(event));
  }
  // A buffer for the next read, once the reader has room; none when the transfer was abandoned.
  std::optional<std::vector<BYTE>> TakeBuffer() {
    std::unique_lock hold(lock);
    changed.wait(hold, [this] { return abandoned || queuedReads < kMaxQueuedReads; });
    if (abandoned) return std::nullopt;
    std::vector<BYTE> buffer;
    if (!spare.empty()) {
      buffer = std::move(spare.back());
      spare.pop_back();
    }
    buffer.resize(kReadSize);
    return buffer;
  }
};

CHttpTransfer::CHttpTransfer(HINTERNET request) : m_state(std::make_shared<State>()) {
  m_state->request = request;
  m_thread = std::thread(Run, m_state, request);
}

CHttpTransfer::~CHttpTransfer() {
  Abandon();
  std::unique_lock hold(m_state->lock);
  const bool finished = m_state->changed.wait_for(hold, kLeaveAfter, [this] { return m_state->finished; });
  hold.unlock();
  if (finished) {
    m_thread.join();
  } else {
    m_thread.detach();
  }
}

void CHttpTransfer::Abandon() noexcept {
  HINTERNET request = nullptr;
  {
    std::lock_guard hold(m_state->lock);
    if (m_state->abandoned) return;
    m_state->abandoned = true;
    request = std::exchange(m_state->request, nullptr);
    m_state->changed.notify_all();
  }
  Http::CloseHandle(request);
}

CHttpTransfer::Event CHttpTransfer::Next(std::uint64_t waitMs) {
  std::unique_lock hold(m_state->lock);
  m_state->changed.wait_for(hold, std::chrono::milliseconds(waitMs),
                            [this] { return m_state->abandoned || !m_state->events.empty(); });
  if (m_state->abandoned) {
    Event abandoned;
    abandoned.kind = Event::Kind::Abandoned;
    return abandoned;
  }
  if (m_state->events.empty()) return {};
  Event event = std::move(m_state->events.front());
  m_state->events.pop_front();
  if (event.kind == Event::Kind::Data) {
    --m_state->queuedReads;
    m_state->changed.notify_all();
  }
  return event;
}

void CHttpTransfer::Recycle(std::vector<BYTE> buffer) {
  std::lock_guard hold(m_state->lock);
  m_state->spare.push_back(std::move(buffer));
}

void CHttpTransfer::Run(const std::shared_ptr<State>& state, HINTERNET request) {
  const auto body = [&] {
    if (!state->MayCall()) return;
    if (!Http::SendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) {
      return state->Fail(CallError(), HttpPhase::Request);
    }
    if (!state->MayCall()) return;
    if (!Http::ReceiveResponse(request, nullptr)) return state->Fail(CallError(), HttpPhase::Response);
    if (!state->MayCall()) return;
    Event answered;
    answered.kind = Event::Kind::Answered;
    DWORD statusSize = sizeof(answered.status);
    if (!Http::QueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                            WINHTTP_HEADER_NAME_BY_INDEX, &answered.status, &statusSize, WINHTTP_NO_HEADER_INDEX)) {
      return state->Fail(CallError(), HttpPhase::Response);
    }
    answered.length = AnnouncedLength(request);
    const bool ok = answered.status == 200;
    state->Push(std::move(answered));
    if (!ok) return;
    Event ended;
    ended.kind = Event::Kind::Ended;
    for (;;) {
      if (!state->MayCall()) return;
      DWORD available = 0;
      if (!Http::QueryDataAvailable(request, &available)) return state->Fail(CallError(), HttpPhase::Body);
      if (available == 0) return state->Push(std::move(ended));
      while (available > 0) {
        std::optional<std::vector<BYTE>> buffer = state->TakeBuffer();
        if (!buffer) return;
        DWORD read = 0;
        if (!Http::ReadData(request, buffer->data(), available < kReadSize ? available : kReadSize, &read)) {
          return state->Fail(CallError(), HttpPhase::Body);
        }
        // A read of nothing is the end of the body, whatever was said to be available.
        if (read == 0) return state->Push(std::move(ended));
        available -= read < available ? read : available;
        buffer->resize(read);
        Event data;
        data.kind = Event::Kind::Data;
        data.data = std::move(*buffer);
        state->Push(std::move(data));
      }
    }
  };
  body();
  std::lock_guard hold(state->lock);
  state->finished = true;
  state->changed.notify_all();
}

}  // namespace Tevrian
