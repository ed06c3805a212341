// A task dialog as a class: the configuration is filled once, every notification reaches a
// virtual handler of its own, and the open dialog is driven through small senders. Needs the
// common controls 6 manifest in the executable's resources.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <string>

namespace Tevrian {

class CTaskDialog {
 public:
  CTaskDialog(std::wstring content, std::wstring mainInstruction, std::wstring title,
              TASKDIALOG_COMMON_BUTTON_FLAGS commonButtons, TASKDIALOG_FLAGS options, std::wstring footer = {});
  virtual ~CTaskDialog();
  CTaskDialog(const CTaskDialog&) = delete;
  CTaskDialog& operator=(const CTaskDialog&) = delete;

  // Shows the dialog modally; the id of the button that closed it, or 0 when it could not be
  // shown (LastResult() then holds the failure).
  virtual int DoModal(HWND parent);
  HRESULT LastResult() const { return m_lastResult; }

 protected:
  // For a dialog whose own work could not start although the dialog showed.
  void SetLastResult(HRESULT result) { m_lastResult = result; }

 public:
  // Before DoModal.
  void SetWindowTitle(std::wstring title);
  void SetMainInstruction(std::wstring text);
  void SetMainIcon(HICON icon);
  void SetDialogWidth(UINT dialogUnits);

  // While the dialog is open. The bar's range and position are sent without waiting for them
  // (a worker moves the bar up to a thousand times a run, and waiting on each repaint, an X server
  // round trip under Wine, made a download 15 % slower under the dialog); the dialog still handles
  // them before any message sent after them.
  HWND Window() const { return m_window.load(); }
  void SetProgressBarRange(int minimum, int maximum);
  void SetProgressBarPosition(int position);
  // The rest are synchronous: they return once the dialog has handled them.
  // The bar's position now (-1 without a bar); for the dialog's own thread.
  int ProgressBarPosition() const;
  void SetProgressBarState(int state);
  void SetElementText(TASKDIALOG_ELEMENTS element, const std::wstring& text);
  void ClickCommandControl(int id);
  // Disables the common buttons in `disabledMask` and enables the rest; marks those in
  // `elevationMask` as needing elevation.
  void SetCommonButtonOptions(int disabledMask, int elevationMask = 0);

 protected:
  // TDN_DIALOG_CONSTRUCTED, TDN_CREATED, TDN_BUTTON_CLICKED (S_OK closes, S_FALSE keeps it
  // open), TDN_TIMER (about every 200 ms with TDF_CALLBACK_TIMER).
  virtual HRESULT OnInit() { return S_OK; }
  virtual HRESULT OnCreated() { return S_OK; }
  virtual HRESULT OnCommandControlClick(int id);
  virtual HRESULT OnTimer(DWORD elapsedMs);

 private:
  static HRESULT CALLBACK Callback(HWND window, UINT notification, WPARAM wParam, LPARAM lParam, LONG_PTR data);
  HRESULT Dispatch(HWND window, UINT notification, WPARAM wParam);
  LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) const;
  void Notify(UINT message, WPARAM wParam, LPARAM lParam) const;

  TASKDIALOGCONFIG m_config = {};
  std::wstring m_content;
  std::wstring m_mainInstruction;
  std::wstring m_title;
  std::wstring m_footer;
  // Read by the worker's senders, written by the UI thread as the window comes and goes.
  std::atomic<HWND> m_window = nullptr;
  HRESULT m_lastResult = S_OK;
  bool m_constructed = false;  // UI thread only
};

}  // namespace Tevrian
