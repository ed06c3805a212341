#include "crash_report_win.h"

#include <system_error>

#include "app.h"

namespace Tevrian {
namespace {

// How long the faulting thread waits for the report before it ends the process regardless.
constexpr DWORD kReportTimeMs = 5000;
// {Application Error}: what the launch thread died of could not be told.
constexpr std::uint32_t kStatusUnhandledException = 0xC0000144;

std::atomic<CCrashReport*> g_active{nullptr};

}  // namespace

CCrashReport::CCrashReport(CTevLauncherApp& app) : m_app(app) {
  m_crashed.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  m_reported.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  m_stop.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), m_launchThread.put(),
                  SYNCHRONIZE | THREAD_QUERY_LIMITED_INFORMATION, FALSE, 0);
  if (!m_crashed || !m_reported || !m_stop || !m_launchThread) return;  // the run goes on unwatched
  try {
    m_reporter = std::thread([this] { Report(); });
    m_guard = std::thread([this] { Guard(); });
  } catch (const std::system_error&) {
    return;  // the destructor stops the thread that did start
  }
  CCrashReport* none = nullptr;
  if (!g_active.compare_exchange_strong(none, this)) return;
  m_previousFilter = SetUnhandledExceptionFilter(OnUnhandledException);
  // Called first, before any frame's handler: a stack overflow cannot be recovered from, and the
  // search for a handler would need the stack that is no longer there.
  m_vectoredHandler.reset(AddVectoredExceptionHandler(1, OnStackOverflow));
}

CCrashReport::~CCrashReport() {
  if (g_active.load() == this) {
    m_vectoredHandler.reset();
    SetUnhandledExceptionFilter(m_previousFilter);
    g_active.store(nullptr);
  }
  if (m_stop) SetEvent(m_stop.get());
  if (m_reporter.joinable()) m_reporter.join();
  if (m_guard.joinable()) m_guard.join();
}

LONG WINAPI CCrashReport::OnUnhandledException(EXCEPTION_POINTERS* exception) {
  CCrashReport* active = g_active.load();
  if (!active) return EXCEPTION_CONTINUE_SEARCH;
  active->End(Cause::Exception, exception->ExceptionRecord->ExceptionCode,
              exception->ExceptionRecord->ExceptionAddress);
}

LONG WINAPI CCrashReport::OnStackOverflow(EXCEPTION_POINTERS* exception) {
  if (exception->ExceptionRecord->ExceptionCode != EXCEPTION_STACK_OVERFLOW) return EXCEPTION_CONTINUE_SEARCH;
  return OnUnhandledException(exception);
}

// Runs on the faulting thread: system calls only, no formatting, no allocation, no locks.
void CCrashReport::End(Cause cause, std::uint32_t code, const void* address, std::uint32_t threadExitCode) {
  if (!m_ending.exchange(true)) {
    m_cause = cause;
    m_code = code;
    m_address = address;
    m_threadExitCode = threadExitCode;
    SetEvent(m_crashed.get());
    WaitForSingleObject(m_reported.get(), kReportTimeMs);
    TerminateProcess(GetCurrentProcess(), code);
  } else if (GetCurrentThreadId() == m_reporterId.load()) {
    // The report itself failed: the first exception still gives the exit code.
    TerminateProcess(GetCurrentProcess(), m_code);
  }
  // Another thread is ending the process already.
  for (;;) Sleep(INFINITE);
}

void CCrashReport::Report() {
  m_reporterId.store(GetCurrentThreadId());
  const HANDLE waits[] = {m_crashed.get(), m_stop.get()};
  if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) return;
  m_app.EnsureLogFile();
  if (m_cause == Cause::Exception) {
    constexpr const wchar_t* kLine = sizeof(void*) == 8 ? L"Unhandled exception 0x{0:08X} at 0x{1:016X}; the run ends"
                                                        : L"Unhandled exception 0x{0:08X} at 0x{1:08X}; the run ends";
    m_app.WriteLog(kLine, m_code, reinterpret_cast<std::uintptr_t>(m_address));
  } else {
    m_app.WriteLog(L"The launch thread ended without ending the run (thread exit code {0}); the run ends",
                   m_threadExitCode);
  }
  m_app.WriteLog(L"ExitCode={0}(0x{0:08X})", static_cast<std::int32_t>(m_code));
  SetEvent(m_reported.get());
}

void CCrashReport::Guard() {
  // The process ends with the launch thread, other threads first: seeing it end alone means it
  // was dropped.
  const HANDLE waits[] = {m_stop.get(), m_launchThread.get()};
  if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) return;
  DWORD exitCode = 0;
  GetExitCodeThread(m_launchThread.get(), &exitCode);
  End(Cause::LaunchThreadEnded, kStatusUnhandledException, nullptr, exitCode);
}

}  // namespace Tevrian
