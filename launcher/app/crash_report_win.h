// The last word of a run that dies of an exception nobody handles: a log line naming the exception
// and where it happened, then the end of the process with the exception code as its exit code, so
// that a calling program sees the crash for what it is.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <thread>

#include "../installer/unique_handle.h"

namespace Tevrian {

class CTevLauncherApp;

// Installed by the thread that runs the launch, right after the application object exists, and
// kept until the run is over; one at a time.
//
// The faulting thread only records the exception and waits: after a stack overflow it has almost
// no stack left, and it may hold the log's lock or the heap's. A reporter thread started in advance
// writes the lines; the faulting thread ends the process when they are written or after a few
// seconds, whichever comes first. A guard thread ends the run too when the launch thread vanishes
// without ending the process (Wine drops a thread whose stack overflow it cannot dispatch).
class CCrashReport {
 public:
  explicit CCrashReport(CTevLauncherApp& app);
  ~CCrashReport();
  CCrashReport(const CCrashReport&) = delete;
  CCrashReport& operator=(const CCrashReport&) = delete;

 private:
  enum class Cause { Exception, LaunchThreadEnded };

  struct VectoredHandlerTraits {
    using Type = PVOID;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { RemoveVectoredExceptionHandler(h); }
  };

  static LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* exception);
  static LONG WINAPI OnStackOverflow(EXCEPTION_POINTERS* exception);
  [[noreturn]] void End(Cause cause, std::uint32_t code, const void* address, std::uint32_t threadExitCode = 0);
  void Report();
  void Guard();

  CTevLauncherApp& m_app;
  TevMSI::CKernelHandle m_crashed, m_reported, m_stop, m_launchThread;
  // Written by the first thread to end the run, before m_crashed is set.
  Cause m_cause = Cause::Exception;
  std::uint32_t m_code = 0;
  const void* m_address = nullptr;
  std::uint32_t m_threadExitCode = 0;
  std::atomic<bool> m_ending{false};
  std::atomic<DWORD> m_reporterId{0};
  std::thread m_reporter, m_guard;
  LPTOP_LEVEL_EXCEPTION_FILTER m_previousFilter = nullptr;
  TevMSI::CUniqueHandle<VectoredHandlerTraits> m_vectoredHandler;
};

}  // namespace Tevrian
