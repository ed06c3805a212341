#include "async_action_dlg.h"

#include <exception>
#include <string_view>
#include <utility>

#include "../installer/msi_exception.h"
#include "../shared/text_template.h"

namespace Tevrian {
namespace {

constexpr wchar_t kCaption[] = L"TevLauncher";
constexpr wchar_t kTitle[] = L"[PackageName] セットアップ";
constexpr wchar_t kInstruction[] = L"「[PackageName] セットアップ」の準備を行っています。";
constexpr wchar_t kCancelQuestion[] = L"[PackageName] セットアップを中止します。\nよろしいですか？";
constexpr UINT kWidth = 300;
constexpr TASKDIALOG_COMMON_BUTTON_FLAGS kButtons = TDCBF_CANCEL_BUTTON;
// About one screen frame: the bar cannot show moves that come faster.
constexpr ULONGLONG kFrameMs = 16;
constexpr TASKDIALOG_FLAGS kOptions = TDF_USE_HICON_MAIN | TDF_SHOW_PROGRESS_BAR | TDF_CALLBACK_TIMER;

std::wstring Widen(const char* text) {
  const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (length <= 1) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length);
  wide.resize(static_cast<std::size_t>(length - 1));
  return wide;
}

// Messages that arrived for the dialog's thread while the work ran (repaints, the worker's last
// posts) are handled before the dialog goes. A quit request is left for the loop it belongs to.
void ProcessWaitingMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace

CAsyncActionDlg::CAsyncActionDlg(const Expression::CConditionExpression& properties, LogSink log)
    : CTaskDialog(L"", L"", L"", kButtons, kOptions),
      m_gate(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_log(std::move(log)) {
  if (!m_gate) {
    const DWORD error = GetLastError();
    Log(FormatText(L"Failed CreateEvent( pause gate ):{0}, {1}", error, TevMSI::SystemMessage(error)));
  }
  SetWindowTitle(properties.Resolve(kTitle));
  SetDialogWidth(kWidth);
  SetMainIcon(static_cast<HICON>(
      LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED)));
  SetMainInstruction(properties.Resolve(kInstruction));
  // Resolved now, on the caller's thread: by the time the user presses Cancel the work may be
  // using the property store.
  m_cancelQuestion = properties.Resolve(kCancelQuestion);
}

CAsyncActionDlg::~CAsyncActionDlg() {
  if (m_worker.joinable()) m_worker.join();
}

int CAsyncActionDlg::DoModal(HWND parent) {
  const int button = CTaskDialog::DoModal(parent);
  if (SUCCEEDED(LastResult()) && FAILED(m_startFailure)) SetLastResult(m_startFailure);
  if (FAILED(LastResult())) {
    Log(FormatText(L"Failed TaskDialogIndirect:0x{0:08X}", static_cast<std::uint32_t>(LastResult())));
  }
  if (m_worker.joinable()) m_worker.join();
  return button;
}

void CAsyncActionDlg::Log(std::wstring_view line) const {
  if (m_log) m_log(line);
}

HRESULT CAsyncActionDlg::OnInit() {
  // The launcher opens no main window of its own, so there is none to bring up here.
  OpenGate();
  m_startPending = true;
  return S_OK;
}

HRESULT CAsyncActionDlg::OnTimer(DWORD) {
  // A move held back for the frame rate reaches the bar here. Moves sent before the tick have
  // been handled by now, so the bar's own position is the last one sent.
  if (const std::int32_t latest = m_latestPosition.load(); ProgressBarPosition() != latest) {
    SetProgressBarPosition(latest);
  }
  if (m_startPending.exchange(false)) {
    try {
      m_worker = std::thread([this] { RunWork(); });
    } catch (const std::exception& error) {
      const DWORD system = GetLastError();
      Log(FormatText(L"Failed to start the background task: {0}", Widen(error.what())));
      m_startFailure = HRESULT_FROM_WIN32(system != ERROR_SUCCESS ? system : ERROR_NOT_ENOUGH_MEMORY);
      m_finished = true;
      ClickCommandControl(IDCANCEL);
    }
  }
  return S_OK;
}

void CAsyncActionDlg::RunWork() {
  WaitForSingleObject(m_gate.get(), INFINITE);
  const cancellation_token token = m_tokenSource.get_token();
  // The dialog closes however the work ends: an exception is logged here and the continuation
  // still runs, or the dialog would wait for a work that is gone.
  try {
    m_work(token, this);
  } catch (const TevMSI::CMsiException& error) {
    Log(FormatText(L"The background task ended by TevMSI::CMsiException {0}(0x{0:08X}) {1}", error.Code(),
                   error.Message()));
  } catch (const std::exception& error) {
    Log(FormatText(L"The background task ended by an exception: {0}", Widen(error.what())));
  } catch (...) {
    Log(L"The background task ended by an exception of unknown type");
  }
  FlushPosition();
  m_finished = true;
  ClickCommandControl(IDCANCEL);
}

void CAsyncActionDlg::SetStepTotal(std::uint32_t total) {
  // A run without steps shows an empty bar (range 0..1) and goes on.
  m_steps.SetTotal(total);
  SetProgressBarRange(0, m_steps.RangeMax());
  m_latestPosition = 0;
  SendPosition(0);
}

void CAsyncActionDlg::SendPosition(std::int32_t position) {
  m_sentPosition = position;
  SetProgressBarPosition(position);
}

void CAsyncActionDlg::FlushPosition() {
  if (const std::int32_t latest = m_latestPosition.load(); latest != m_sentPosition) SendPosition(latest);
}

void CAsyncActionDlg::Advance(std::uint32_t units) {
  if (units == 0) return;
  // Only a visible change costs a yield, and a message at most once a frame: a download advances
  // per chunk, and each message costs the dialog a repaint.
  if (m_steps.Advance(units)) {
    m_latestPosition = m_steps.Position();
    const ULONGLONG now = GetTickCount64();
    if (now - m_lastMoveTick >= kFrameMs) {
      m_lastMoveTick = now;
      SendPosition(m_steps.Position());
    }
    SwitchToThread();
  }
  WaitWhilePaused();
}

// An open gate is read from its flag: the worker passes it several times per chunk of a download,
// and a kernel wait each time (a server round trip under Wine) made the dialog's run 2.5 times
// slower than a run without it. A closed gate is waited on for real.
void CAsyncActionDlg::WaitWhilePaused() {
  if (m_gateOpen.load()) return;
  WaitForSingleObject(m_gate.get(), INFINITE);
}

// The event goes first either way: a worker that reads the flag open while the gate closes has
// passed just before the box opened, and one that reads it closed finds the event already reset.
void CAsyncActionDlg::OpenGate() {
  SetEvent(m_gate.get());
  m_gateOpen = true;
}

void CAsyncActionDlg::CloseGate() {
  ResetEvent(m_gate.get());
  m_gateOpen = false;
}

void CAsyncActionDlg::SetContent(const std::wstring& text) {
  FlushPosition();
  SetElementText(TDE_CONTENT, text);
}

void CAsyncActionDlg::ReportError(const std::wstring& text) {
  FlushPosition();
  if (!Window()) {
    // No dialog to show it in: the log still gets it.
    Log(text);
    return;
  }
  {
    std::lock_guard lock(m_pendingLock);
    m_pendingMessage = text;
  }
  ClickCommandControl(IDCANCEL);
}

std::optional<std::wstring> CAsyncActionDlg::TakePendingMessage() {
  std::lock_guard lock(m_pendingLock);
  return std::exchange(m_pendingMessage, std::nullopt);
}

void CAsyncActionDlg::Pause() {
  if (m_pauseDepth++ == 0) CloseGate();
}

void CAsyncActionDlg::Resume() {
  if (--m_pauseDepth == 0) OpenGate();
}

int CAsyncActionDlg::BarStateAfterBox() const { return m_errorShown || IsCanceled() ? PBST_ERROR : PBST_NORMAL; }

HRESULT CAsyncActionDlg::OnCommandControlClick(int id) {
  if (id != IDCANCEL) return S_OK;
  if (const auto message = TakePendingMessage()) return ShowMessage(*message);
  if (m_finished) {
    ProcessWaitingMessages();
    return S_OK;
  }
  // Escape or the close button while the run is already stopping: it has been asked and answered.
  if (IsCanceled()) return S_FALSE;
  return AskToCancel();
}

HRESULT CAsyncActionDlg::ShowMessage(const std::wstring& text) {
  Pause();
  m_errorShown = true;
  SetProgressBarState(PBST_ERROR);
  Log(text);
  MessageBoxW(Window(), text.c_str(), kCaption, MB_OK);
  Resume();
  return S_FALSE;
}

HRESULT CAsyncActionDlg::AskToCancel() {
  Pause();
  SetProgressBarState(PBST_PAUSED);
  if (MessageBoxW(Window(), m_cancelQuestion.c_str(), kCaption, MB_YESNO | MB_ICONQUESTION) == IDYES) {
    // The work's callbacks on its token run here, before the button goes grey.
    m_tokenSource.cancel();
    SetCommonButtonOptions(TDCBF_CANCEL_BUTTON, 0);
    Log(L"Cancel: the user stopped the setup");
  } else {
    Log(L"Cancel: the user goes on with the setup");
  }
  SetProgressBarState(BarStateAfterBox());
  Resume();
  return S_FALSE;
}

}  // namespace Tevrian
