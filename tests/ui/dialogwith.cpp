// dialogwith CASE [SECONDS]: opens the progress dialog over a scripted work function and writes
// what the end-to-end tests check to %TEMP%\dialogwith.log (code page 932, one line each): the
// dialog's own log lines, what the work saw of the dialog, and the outcome. Exit code 1602 when
// the run was canceled, else 0. Run through the test driver, which answers the dialogs.
//   progress [SECONDS]  content text and a bar at 40%, held SECONDS (2 by default), e.g. for screenshots
//   cancel              advances until the user cancels (or 200 steps), watching the gate
//   error               reports an error through ReportError
//   throw-msi, throw-std, throw-unknown   the work ends by an exception
//   return              the work returns at once
//   no-steps            a step total of 0
//   bad-parent          the dialog is asked for with a parent window that does not exist, so that it
//                       cannot be shown
#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <stop_token>
#include <string>

#include "async_action_dlg.h"
#include "msi_exception.h"
#include "unique_handle.h"

namespace {

using Tevrian::cancellation_token;
using Tevrian::CAsyncActionDlg;

std::mutex g_logLock;
FILE* g_log = nullptr;
DWORD g_uiThread = 0;

void WriteLine(std::wstring_view line) {
  const std::wstring text = std::wstring(line) + L"\r\n";
  const int length =
      WideCharToMultiByte(932, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(932, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length, nullptr, nullptr);
  std::lock_guard lock(g_logLock);
  if (!g_log) return;
  fwrite(narrow.data(), 1, narrow.size(), g_log);
  fflush(g_log);
}

const wchar_t* YesNo(bool value) { return value ? L"yes" : L"no"; }

HWND ProgressBar(CAsyncActionDlg* dialog) { return FindWindowExW(dialog->Window(), nullptr, PROGRESS_CLASSW, nullptr); }

// Wine's progress bar keeps no state (PBM_GETSTATE always answers normal), so the state is read
// from the PBM_SETSTATE messages the bar receives, as Windows would draw them.
std::atomic<int> g_barState = PBST_NORMAL;

LRESULT CALLBACK WatchBar(int code, WPARAM wParam, LPARAM lParam) {
  const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && call->message == PBM_SETSTATE) {
    g_barState = static_cast<int>(call->wParam);
    WriteLine(L"bar: state " + std::to_wstring(call->wParam));
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

int BarState(CAsyncActionDlg*) { return g_barState; }

struct HookTraits {
  using Type = HHOOK;
  static Type Invalid() { return nullptr; }
  static void Close(Type hook) { UnhookWindowsHookEx(hook); }
};

bool CancelEnabled(CAsyncActionDlg* dialog) { return IsWindowEnabled(GetDlgItem(dialog->Window(), IDCANCEL)); }

BOOL CALLBACK FindMessageBox(HWND window, LPARAM found) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  wchar_t cls[16] = {}, caption[32] = {};
  GetClassNameW(window, cls, 16);
  GetWindowTextW(window, caption, 32);
  if (process == GetCurrentProcessId() && IsWindowVisible(window) && std::wstring(cls) == L"#32770" &&
      std::wstring(caption) == L"TevLauncher") {
    *reinterpret_cast<bool*>(found) = true;
  }
  return TRUE;
}

bool MessageBoxOpen() {
  bool found = false;
  EnumWindows(FindMessageBox, reinterpret_cast<LPARAM>(&found));
  return found;
}

void Progress(cancellation_token token, CAsyncActionDlg* dialog, int seconds) {
  dialog->SetStepTotal(2500);
  dialog->SetContent(L"パッケージを確認しています: TevSample.msi");
  dialog->Advance(1000);
  WriteLine(L"work: content set, bar at " + std::to_wstring(SendMessageW(ProgressBar(dialog), PBM_GETPOS, 0, 0)) +
            L" of " + std::to_wstring(SendMessageW(ProgressBar(dialog), PBM_GETRANGE, FALSE, 0)));
  for (int i = 0; i < seconds * 10 && !token.is_canceled(); ++i) {
    Sleep(100);
    dialog->WaitWhilePaused();
  }
}

// Advances in small steps until the token is canceled. An Advance that returns while a message box
// of the dialog is open means the gate did not hold the work.
void AdvanceUntilCanceled(cancellation_token token, CAsyncActionDlg* dialog) {
  std::atomic<bool> callbackRan = false;
  std::stop_callback onCancel(token.get_stop_token(), [&] {
    WriteLine(std::wstring(L"callback: on the dialog's thread ") + YesNo(GetCurrentThreadId() == g_uiThread) +
              L", Cancel still enabled " + YesNo(CancelEnabled(dialog)) + L", bar state " +
              std::to_wstring(BarState(dialog)));
    callbackRan = true;
  });
  dialog->SetStepTotal(200);
  dialog->SetContent(L"running");
  int afterHold = -1;
  for (int i = 0; i < 200 && !token.is_canceled(); ++i) {
    const ULONGLONG start = GetTickCount64();
    dialog->Advance(1);
    if (MessageBoxOpen()) WriteLine(L"work: passed the gate while a message box was open");
    if (GetTickCount64() - start > 150 && afterHold < 0) {
      WriteLine(L"work: held at the gate, bar state now " + std::to_wstring(BarState(dialog)));
      afterHold = 0;
    }
    if (afterHold >= 0 && ++afterHold == 10) {
      WriteLine(L"work: resumed for 10 steps after the hold");
      return;
    }
    Sleep(30);
  }
  if (!token.is_canceled()) return;
  WriteLine(std::wstring(L"work: canceled, callback ran ") + YesNo(callbackRan) + L", Cancel enabled " +
            YesNo(CancelEnabled(dialog)) + L", bar state " + std::to_wstring(BarState(dialog)));
  // Escape and the close button while stopping must not ask again.
  PostMessageW(dialog->Window(), WM_COMMAND, IDCANCEL, 0);
  PostMessageW(dialog->Window(), WM_CLOSE, 0, 0);
  Sleep(1000);
  WriteLine(std::wstring(L"work: asked again ") + YesNo(MessageBoxOpen()) + L", dialog still open " +
            YesNo(IsWindowVisible(dialog->Window()) != FALSE));
}

void ReportAnError(cancellation_token, CAsyncActionDlg* dialog) {
  dialog->SetStepTotal(4);
  dialog->Advance(1);
  dialog->ReportError(L"ファイルが見つかりません: TevSample.msi");
  WriteLine(std::wstring(L"work: ReportError returned, box still open ") + YesNo(MessageBoxOpen()) + L", bar state " +
            std::to_wstring(BarState(dialog)));
}

void NoSteps(cancellation_token, CAsyncActionDlg* dialog) {
  dialog->SetStepTotal(0);
  dialog->Advance(5);
  PBRANGE range = {};
  SendMessageW(ProgressBar(dialog), PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  WriteLine(L"work: range " + std::to_wstring(range.iLow) + L".." + std::to_wstring(range.iHigh) + L", position " +
            std::to_wstring(SendMessageW(ProgressBar(dialog), PBM_GETPOS, 0, 0)));
}

std::optional<CAsyncActionDlg::WorkFunction> WorkFor(const std::wstring& name, int seconds) {
  if (name == L"progress") {
    return [seconds](cancellation_token token, CAsyncActionDlg* dialog) { Progress(token, dialog, seconds); };
  }
  if (name == L"cancel") return AdvanceUntilCanceled;
  if (name == L"error") return ReportAnError;
  if (name == L"no-steps") return NoSteps;
  if (name == L"return" || name == L"bad-parent") return [](cancellation_token, CAsyncActionDlg*) {};
  if (name == L"throw-msi") {
    return [](cancellation_token, CAsyncActionDlg*) {
      throw TevMSI::CMsiException(1603, L"インストールに失敗しました。");
    };
  }
  if (name == L"throw-std")
    return [](cancellation_token, CAsyncActionDlg*) { throw std::runtime_error("disk on fire"); };
  if (name == L"throw-unknown") return [](cancellation_token, CAsyncActionDlg*) { throw 42; };
  return std::nullopt;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring name = argc > 1 ? argv[1] : L"";
  const int seconds = argc > 2 ? _wtoi(argv[2]) : 2;
  const auto work = WorkFor(name, seconds);
  if (!work) return 2;

  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  g_log = _wfopen((std::wstring(temp) + L"dialogwith.log").c_str(), L"wb");
  g_uiThread = GetCurrentThreadId();
  WriteLine(L"dialogwith " + name);

  Tevrian::Expression::CConditionExpression properties(WriteLine);
  properties.SetProperty(L"PackageName",
                         Tevrian::Expression::Token::Text(Tevrian::Expression::TokenKind::String, L"テスト製品"));
  TevMSI::CUniqueHandle<HookTraits> watch(SetWindowsHookExW(WH_CALLWNDPROC, WatchBar, nullptr, g_uiThread));
  std::optional<cancellation_token> seen;
  bool canceled = false;
  {
    CAsyncActionDlg dialog(properties, WriteLine);
    dialog.SetWorkFunction([&](cancellation_token token, CAsyncActionDlg* self) {
      seen = token;
      WriteLine(L"work: started");
      (*work)(token, self);
      WriteLine(L"work: returning");
    });
    const HWND parent =
        name == L"bad-parent" ? reinterpret_cast<HWND>(static_cast<INT_PTR>(0x0BAD0000)) : GetActiveWindow();
    const int button = dialog.DoModal(parent);
    canceled = dialog.IsCanceled();
    WriteLine(L"DoModal returned " + std::to_wstring(button));
    wchar_t result[32];
    swprintf(result, 32, L"LastResult 0x%08lX", static_cast<unsigned long>(dialog.LastResult()));
    WriteLine(result);
  }
  watch.reset();
  WriteLine(std::wstring(L"IsCanceled ") + (canceled ? L"true" : L"false"));
  WriteLine(std::wstring(L"token canceled ") +
            (seen ? (seen->is_canceled() ? L"true" : L"false") : L"never handed out"));
  fclose(g_log);
  return canceled ? 1602 : 0;
}
