// The one way the run starts a program and waits for it (every package's installer, msiexec too, the
// elevated restart, the other launcher): the shell starts it, input is pumped while it runs, and
// OutcomeOf decides what its end means.
#include <windows.h>

#include <shellapi.h>

#include "../installer/unique_handle.h"
#include "app.h"
#include "message_pump.h"
#include "process_outcome.h"

namespace Tevrian {

bool CTevLauncherApp::RunAndWait(std::uint32_t& exitCode, const std::wstring& program, const std::wstring& parameters,
                                 const wchar_t* verb) {
  exitCode = 0;
  if (verb) {
    WriteLog(L"Call:ShellExecute( {0}, {1}, {2} )", program, parameters, verb);
  } else {
    WriteLog(L"Call:ShellExecute( {0}, {1} )", program, parameters);
  }
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  // No shell error box: the caller reports the failure itself, and a box nobody can see would
  // hang a hidden run.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = verb;
  info.lpFile = program.c_str();
  info.lpParameters = parameters.c_str();
  info.nShow = IsHidden() ? SW_HIDE : SW_SHOWNORMAL;
  ProcessRun run;
  const auto end = [&](const wchar_t* failedCall) {
    const ProcessOutcome outcome = OutcomeOf(run);
    exitCode = outcome.exitCode;
    if (!outcome.ran) WriteLog(L"Failed: {0}:{1}", failedCall, exitCode);
    return outcome.ran;
  };
  run.started = ShellExecuteExW(&info) != FALSE;
  if (!run.started) {
    run.startError = GetLastError();
    return end(L"ShellExecuteEx()");
  }
  WriteLog(L"Execute!( {0} )", program);
  // The shell may hand the request to a program already running: nothing to wait on, no exit code
  // to read, and so no sign that the program did its work.
  run.hasProcess = info.hProcess != nullptr;
  if (!run.hasProcess) return end(L"ShellExecuteEx() gave no process to wait for");
  TevMSI::CKernelHandle process(info.hProcess);
  for (;;) {
    HANDLE handle = process.get();
    const DWORD wait = MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_ALLINPUT);
    if (wait == WAIT_OBJECT_0 + 1) {
      DispatchWaitingMessages();
      continue;
    }
    run.waited = wait == WAIT_OBJECT_0;
    if (!run.waited) run.waitError = GetLastError();
    break;
  }
  if (!run.waited) return end(L"MsgWaitForMultipleObjects()");
  DWORD reported = 0;
  run.readExitCode = GetExitCodeProcess(process.get(), &reported) != FALSE;
  if (!run.readExitCode) {
    run.exitCodeError = GetLastError();
    return end(L"GetExitCodeProcess()");
  }
  run.reported = reported;
  exitCode = OutcomeOf(run).exitCode;
  WriteLog(L"Succeeded: GetExitCodeProcess( {0} ):ExitCode={1}", reported, static_cast<std::int32_t>(exitCode));
  return true;
}

}  // namespace Tevrian
