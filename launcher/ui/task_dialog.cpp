#include "task_dialog.h"

#include <utility>

#include "../installer/unique_handle.h"

namespace Tevrian {
namespace {

using TaskDialogIndirectFn = HRESULT(WINAPI*)(const TASKDIALOGCONFIG*, int*, int*, BOOL*);

// comctl32 is not a KnownDLL: a copy planted beside the launcher would win over an import, so
// the task dialog is looked up in the system's own (version 6, through the application manifest).
TaskDialogIndirectFn TaskDialogEntry() {
  static const TevMSI::CModule comctl32 = TevMSI::LoadSystemLibrary(L"comctl32.dll");
  static TaskDialogIndirectFn entry = nullptr;
  if (!entry && comctl32) TevMSI::FindProc(comctl32.get(), entry, "TaskDialogIndirect");
  return entry;
}

// An empty text still makes the element, so that it can be filled once the dialog is open.
PCWSTR TextOrNone(const std::wstring& text, bool keepEmpty) {
  return keepEmpty || !text.empty() ? text.c_str() : nullptr;
}

constexpr struct {
  TASKDIALOG_COMMON_BUTTON_FLAGS flag;
  int id;
} kCommonButtons[] = {{TDCBF_OK_BUTTON, IDOK},         {TDCBF_YES_BUTTON, IDYES},     {TDCBF_NO_BUTTON, IDNO},
                      {TDCBF_CANCEL_BUTTON, IDCANCEL}, {TDCBF_RETRY_BUTTON, IDRETRY}, {TDCBF_CLOSE_BUTTON, IDCLOSE}};

}  // namespace

CTaskDialog::CTaskDialog(std::wstring content, std::wstring mainInstruction, std::wstring title,
                         TASKDIALOG_COMMON_BUTTON_FLAGS commonButtons, TASKDIALOG_FLAGS options, std::wstring footer)
    : m_content(std::move(content)),
      m_mainInstruction(std::move(mainInstruction)),
      m_title(std::move(title)),
      m_footer(std::move(footer)) {
  m_config.cbSize = sizeof(m_config);
  m_config.hInstance = GetModuleHandleW(nullptr);
  m_config.dwCommonButtons = commonButtons;
  m_config.dwFlags = options;
  m_config.pfCallback = Callback;
  m_config.lpCallbackData = reinterpret_cast<LONG_PTR>(this);
}

CTaskDialog::~CTaskDialog() = default;

void CTaskDialog::SetWindowTitle(std::wstring title) { m_title = std::move(title); }
void CTaskDialog::SetMainInstruction(std::wstring text) { m_mainInstruction = std::move(text); }
void CTaskDialog::SetMainIcon(HICON icon) { m_config.hMainIcon = icon; }
void CTaskDialog::SetDialogWidth(UINT dialogUnits) { m_config.cxWidth = dialogUnits; }

int CTaskDialog::DoModal(HWND parent) {
  m_config.hwndParent = parent;
  m_config.pszWindowTitle = TextOrNone(m_title, false);
  m_config.pszMainInstruction = TextOrNone(m_mainInstruction, true);
  m_config.pszContent = TextOrNone(m_content, true);
  m_config.pszFooter = TextOrNone(m_footer, false);
  int button = 0;
  const TaskDialogIndirectFn show = TaskDialogEntry();
  m_constructed = false;
  SetLastError(ERROR_SUCCESS);
  m_lastResult = show ? show(&m_config, &button, nullptr, nullptr) : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  // A dialog that was never made is a failure whatever the call answered (Wine's answers S_OK for a
  // dialog it could not create): the reason is the system's error, else an unspecified failure.
  if (SUCCEEDED(m_lastResult) && !m_constructed) {
    const DWORD error = GetLastError();
    m_lastResult = error != ERROR_SUCCESS ? HRESULT_FROM_WIN32(error) : E_FAIL;
  }
  m_window = nullptr;
  return SUCCEEDED(m_lastResult) ? button : 0;
}

LRESULT CTaskDialog::Send(UINT message, WPARAM wParam, LPARAM lParam) const {
  const HWND window = m_window.load();
  return window ? SendMessageW(window, message, wParam, lParam) : 0;
}

void CTaskDialog::Notify(UINT message, WPARAM wParam, LPARAM lParam) const {
  // Not waited for, yet handled as a sent message: before any message sent after it, so that a
  // synchronous sender finds the bar moved.
  if (const HWND window = m_window.load()) SendNotifyMessageW(window, message, wParam, lParam);
}

void CTaskDialog::SetProgressBarRange(int minimum, int maximum) {
  Notify(TDM_SET_PROGRESS_BAR_RANGE, 0, MAKELPARAM(minimum, maximum));
}
void CTaskDialog::SetProgressBarPosition(int position) { Notify(TDM_SET_PROGRESS_BAR_POS, position, 0); }
int CTaskDialog::ProgressBarPosition() const {
  const HWND window = m_window.load();
  const HWND bar = window ? FindWindowExW(window, nullptr, PROGRESS_CLASSW, nullptr) : nullptr;
  return bar ? static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0)) : -1;
}
void CTaskDialog::SetProgressBarState(int state) { Send(TDM_SET_PROGRESS_BAR_STATE, state, 0); }
void CTaskDialog::SetElementText(TASKDIALOG_ELEMENTS element, const std::wstring& text) {
  Send(TDM_SET_ELEMENT_TEXT, element, reinterpret_cast<LPARAM>(text.c_str()));
}
void CTaskDialog::ClickCommandControl(int id) { Send(TDM_CLICK_BUTTON, id, 0); }

void CTaskDialog::SetCommonButtonOptions(int disabledMask, int elevationMask) {
  for (const auto& button : kCommonButtons) {
    if ((m_config.dwCommonButtons & button.flag) == 0) continue;
    Send(TDM_ENABLE_BUTTON, button.id, (disabledMask & button.flag) == 0);
    Send(TDM_SET_BUTTON_ELEVATION_REQUIRED_STATE, button.id, (elevationMask & button.flag) != 0);
  }
}

HRESULT CTaskDialog::OnCommandControlClick(int) { return S_OK; }
HRESULT CTaskDialog::OnTimer(DWORD) { return S_OK; }

HRESULT CALLBACK CTaskDialog::Callback(HWND window, UINT notification, WPARAM wParam, LPARAM, LONG_PTR data) {
  auto* dialog = reinterpret_cast<CTaskDialog*>(data);
  // Nothing may unwind through the dialog's own code: a failed handler keeps the dialog as it is.
  try {
    return dialog->Dispatch(window, notification, wParam);
  } catch (...) {
    return notification == TDN_BUTTON_CLICKED ? S_FALSE : S_OK;
  }
}

HRESULT CTaskDialog::Dispatch(HWND window, UINT notification, WPARAM wParam) {
  switch (notification) {
    case TDN_DIALOG_CONSTRUCTED:
      m_constructed = true;
      m_window = window;
      return OnInit();
    case TDN_CREATED:
      return OnCreated();
    case TDN_BUTTON_CLICKED:
      return OnCommandControlClick(static_cast<int>(wParam));
    case TDN_TIMER:
      return OnTimer(static_cast<DWORD>(wParam));
    case TDN_DESTROYED:
      m_window = nullptr;
      return S_OK;
    default:
      return S_OK;
  }
}

}  // namespace Tevrian
