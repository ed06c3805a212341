// The progress dialog: runs the caller's work on a thread of its own under a modal task dialog
// with a progress bar, a content line and a Cancel button that asks before it cancels. The work
// reports through the operations below, each a message sent to the dialog (the bar's moves without
// waiting for them), and is held at WaitWhilePaused while a message box of the dialog is open.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "../conditions/condition_expression.h"
#include "../installer/unique_handle.h"
#include "../shared/cancellation_token.h"
#include "../shared/log_sink.h"
#include "../shared/progress_sink.h"
#include "progress_steps.h"
#include "task_dialog.h"

namespace Tevrian {

class CAsyncActionDlg : public CTaskDialog, public CProgressSink {
 public:
  using WorkFunction = std::function<void(cancellation_token, CAsyncActionDlg*)>;

  CAsyncActionDlg(const Expression::CConditionExpression& properties, LogSink log);
  ~CAsyncActionDlg() override;

  // For the caller, in this order: the work, then DoModal (returns once the work has returned and
  // the dialog has closed), then IsCanceled.
  void SetWorkFunction(WorkFunction work) { m_work = std::move(work); }
  int DoModal(HWND parent) override;
  bool IsCanceled() const { return m_tokenSource.get_token().is_canceled(); }

  // For the work, on its own thread.
  void SetStepTotal(std::uint32_t total);
  void Advance(std::uint32_t units) override;
  void WaitWhilePaused() override;
  void SetContent(const std::wstring& text) override;
  // Shows `text` in a message box on the dialog's thread and logs it; returns once it is dismissed.
  void ReportError(const std::wstring& text);

 protected:
  HRESULT OnInit() override;
  HRESULT OnCommandControlClick(int id) override;
  HRESULT OnTimer(DWORD elapsedMs) override;

 private:
  void RunWork();
  void SendPosition(std::int32_t position);
  // Before the work shows anything else, the bar catches up with a move held back.
  void FlushPosition();
  void Log(std::wstring_view line) const;
  // Message boxes of the dialog hold the work; nested boxes release it only when the last closes.
  void Pause();
  void Resume();
  void OpenGate();
  void CloseGate();
  std::optional<std::wstring> TakePendingMessage();
  HRESULT ShowMessage(const std::wstring& text);
  HRESULT AskToCancel();
  int BarStateAfterBox() const;

  cancellation_token_source m_tokenSource;
  // Written by the worker just before its button press, taken by the UI thread; a user's click
  // at that moment must not read it half-written.
  std::optional<std::wstring> m_pendingMessage;
  std::mutex m_pendingLock;
  std::atomic<bool> m_finished = false;
  TevMSI::CKernelHandle m_gate;
  std::atomic<bool> m_gateOpen = false;
  std::atomic<bool> m_startPending = false;
  HRESULT m_startFailure = S_OK;  // UI thread only: why the work's thread could not start
  WorkFunction m_work;
  CProgressSteps m_steps;
  // Moves come faster than a screen shows them: at most one per frame is sent, and the timer (or
  // the work's next other message) brings the bar to the latest position when a move was held back.
  std::atomic<std::int32_t> m_latestPosition = 0;
  std::int32_t m_sentPosition = 0;  // worker only
  ULONGLONG m_lastMoveTick = 0;     // worker only

  LogSink m_log;
  std::wstring m_cancelQuestion;
  int m_pauseDepth = 0;       // UI thread only
  bool m_errorShown = false;  // UI thread only
  std::thread m_worker;
};

}  // namespace Tevrian
