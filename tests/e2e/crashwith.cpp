// crashwith CASE: the launcher's application object with its crash report, then the fault CASE
// names, met the way a launcher would meet it. Run through the test driver like the launcher.
//   stack-overflow, access-violation            on the launch thread
//   worker-stack-overflow, worker-access-violation  on a second thread, as a task of the run
//   fault-while-logging                         in the log's file writer, with the log's lock held
//   launch-thread-ends                          the launch thread is gone, the process stays
//   unreported-stack-overflow, unreported-access-violation  the same without the crash report
#include <windows.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/app.h"
#include "app/crash_report_win.h"

namespace {

volatile int g_stopDepth = -1;  // never reached: the compiler cannot see that the recursion is endless

int Recurse(int depth) {
  volatile char frame[256];
  frame[0] = static_cast<char>(depth);
  if (depth == g_stopDepth) return frame[0];
  return Recurse(depth + 1) + frame[0];
}

void WriteThroughNull() {
  volatile int* volatile target = nullptr;
  *target = 1;
}

void OnWorker(void (*fault)()) { std::thread(fault).join(); }

void Overflow() { Recurse(0); }

bool FaultingAppender(const std::wstring&, const std::vector<std::wstring>&) {
  WriteThroughNull();
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring fault = argc > 1 ? argv[1] : L"";
  const bool reported = fault.rfind(L"unreported-", 0) != 0;
  const std::wstring kind = reported ? fault : fault.substr(11);

  Tevrian::CTevLauncherApp app;
  Tevrian::CTevLauncherApp faultingLog(FaultingAppender);
  Tevrian::CTevLauncherApp& used = kind == L"fault-while-logging" ? faultingLog : app;
  std::optional<Tevrian::CCrashReport> report;
  if (reported) report.emplace(used);
  used.WriteLog(L"crashwith " + fault);

  if (kind == L"stack-overflow") Overflow();
  if (kind == L"access-violation") WriteThroughNull();
  if (kind == L"worker-stack-overflow") OnWorker(Overflow);
  if (kind == L"worker-access-violation") OnWorker(WriteThroughNull);
  if (kind == L"fault-while-logging") {
    used.m_log.SetLogFilePath(L"C:\\crashwith.log");
    used.WriteLog(L"this line faults");
  }
  if (kind == L"launch-thread-ends") ExitThread(1);
  return 2;  // not a fault this program knows
}
