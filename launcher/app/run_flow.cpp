// The run after the launch checks: the folders; phases 1 and 2 of the chain under the progress
// dialog, on its background task (or here, without any window, when the run is hidden); then
// phase 3 here, once the dialog has gone, so that the installers' own windows are not covered.
#include <windows.h>

#include <exception>

#include "../installer/msi_exception.h"
#include "../shared/exit_codes.h"
#include "../ui/async_action_dlg.h"
#include "app.h"
#include "message_pump.h"

namespace Tevrian {
namespace {

constexpr wchar_t kDialogFailedMessage[] = L"セットアップの画面を表示できませんでした(0x{0:08X})。\n実行を中止します。";

}  // namespace

void CTevLauncherApp::LaunchPackages() {
  if (!PrepareFolders()) return;
  m_exitCode = 0;
  const bool acquired = IsHidden() ? RunFirstPhasesHidden() : RunFirstPhasesUnderDialog();
  // Phase 3 only after both phases succeeded: a package whose files were not all acquired (a
  // phase that failed and still left the exit code at 0) is never started.
  if (!acquired || m_forceReboot || m_exitCode != 0) return;
  try {
    m_packages.InstallPackages();
  } catch (const TevMSI::CMsiException& error) {
    m_exitCode = static_cast<std::uint32_t>(error.Code());
    // With the same fallback as the other phases: a code without system text still names itself.
    ShowMessage(TevMSI::ErrorText(error));
  }
}

bool CTevLauncherApp::RunFirstPhases(cancellation_token cancel, CAsyncActionDlg* dialog) {
  if (dialog) {
    dialog->SetStepTotal(m_packages.ProgressTotal());
    DispatchWaitingMessages();
  }
  return m_packages.ResolveSources(cancel, dialog) && m_packages.InstallPrerequisites(cancel, dialog);
}

bool CTevLauncherApp::RunFirstPhasesHidden() {
  try {
    return RunFirstPhases(cancellation_token::none(), nullptr);
  } catch (const TevMSI::CMsiException& error) {
    m_exitCode = static_cast<std::uint32_t>(error.Code());
    WriteLog(TevMSI::ErrorText(error));
    return false;
  }
}

bool CTevLauncherApp::RunFirstPhasesUnderDialog() {
  bool acquired = false;
  bool ran = false;
  bool canceled = false;
  std::exception_ptr failure;
  HRESULT shown = S_OK;
  {
    CAsyncActionDlg dialog(m_properties, [this](std::wstring_view line) { WriteLog(line); });
    dialog.SetWorkFunction([&](cancellation_token cancel, CAsyncActionDlg* bar) {
      ran = true;
      try {
        acquired = RunFirstPhases(cancel, bar);
      } catch (const TevMSI::CMsiException& error) {
        m_exitCode = static_cast<std::uint32_t>(error.Code());
        // A transfer stopped by the user's confirmed cancel is no failure to tell the user about.
        if (cancel.is_canceled()) {
          WriteLog(L"Ended by the cancel: " + TevMSI::ErrorText(error));
        } else {
          bar->ReportError(TevMSI::ErrorText(error));
        }
      } catch (...) {
        // Any other error ends the run on the main thread once the dialog has closed, as an error
        // of the start-up does: with its message, its exit code and the exit's cleanup.
        failure = std::current_exception();
      }
    });
    dialog.DoModal(GetActiveWindow());
    canceled = dialog.IsCanceled();
    shown = dialog.LastResult();
  }
  if (!ran && canceled) {
    WriteLog(L"The setup was cancelled before its work started");
    m_exitCode = kExitCancelled;
    return false;
  }
  if (!ran) {
    // No dialog, no work: nothing was acquired or installed, and the run must not end as a success.
    if (SUCCEEDED(shown)) shown = E_FAIL;
    EndWithRunError(FormatText(L"The progress dialog could not be shown:0x{0:08X}", static_cast<std::uint32_t>(shown)),
                    FormatText(kDialogFailedMessage, static_cast<std::uint32_t>(shown)), kExitUnexpectedError);
    return false;
  }
  if (failure) {
    try {
      std::rethrow_exception(failure);
    } catch (...) {
      EndWithCurrentException();
    }
  }
  if (canceled) {
    WriteLog(L"The setup was cancelled");
    m_exitCode = kExitCancelled;
    return false;
  }
  return acquired;
}

}  // namespace Tevrian
