// The application object: its construction, the order of the start-up (InitInstance), and the few
// services of the Win32 edge it gives the run (messages, the module's path, the temporary folder).
// The steps live in files of their own: startup_checks.cpp, manifest_load.cpp, launch_checks.cpp,
// run_flow.cpp, run_log.cpp, process_runner_win.cpp, package_cache_win.cpp and run_end.cpp (where
// the exit code is decided).
#include "app.h"

#include <windows.h>

#include <commctrl.h>
#include <ole2.h>

#include "../installer/unique_handle.h"
#include "command_line.h"
#include "log_file.h"

namespace Tevrian {
namespace {

constexpr UINT kAppNameStringId = 57344;

std::wstring AppName() {
  const wchar_t* text = nullptr;
  const int length = LoadStringW(GetModuleHandleW(nullptr), kAppNameStringId, reinterpret_cast<LPWSTR>(&text), 0);
  return length > 0 ? std::wstring(text, static_cast<std::size_t>(length)) : std::wstring(L"TevLauncher");
}

// comctl32 is not a KnownDLL: it is looked up in the system folder rather than imported.
void InitCommonControls() {
  static TevMSI::CModule comctl32 = TevMSI::LoadSystemLibrary(L"comctl32.dll");
  using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  if (!comctl32) return;
  auto init = reinterpret_cast<InitFn>(reinterpret_cast<void*>(GetProcAddress(comctl32.get(), "InitCommonControlsEx")));
  if (!init) return;
  INITCOMMONCONTROLSEX controls{8, 0xFF};
  init(&controls);
}

}  // namespace

std::wstring OwnModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

const std::wstring& GetCommandLineArguments() {
  static const std::wstring arguments = SplitCommandLineArguments(GetCommandLineW());
  return arguments;
}

bool IsStartedHidden() {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  GetStartupInfoW(&startup);
  return (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 && startup.wShowWindow == SW_HIDE;
}

CTevLauncherApp::CTevLauncherApp() : CTevLauncherApp(AppendLogLines) {}

CTevLauncherApp::CTevLauncherApp(CLog::Appender appender)
    : m_log(CurrentLocalTime, std::move(appender)),
      m_properties([this](std::wstring_view line) { WriteLog(line); }),
      m_packages(m_properties, this),
      m_downloader([this](std::wstring_view line) { WriteLog(line); }) {}

bool CTevLauncherApp::InitInstance() {
  InitCommonControls();
  OleInitialize(nullptr);
  // Nothing may leave the start-up as an unhandled exception: each is explained and the run ends
  // in order through ExitInstance.
  try {
    if (!CheckIntegrity()) return false;
    if (!InitBuiltinProperties()) {
      // A Windows the launcher cannot identify is a refused run, never a success.
      if (m_exitCode == kExitSuccess) m_exitCode = kExitUnexpectedError;
      EnsureLogFile();
      WriteLog(L"InitBuiltinProperties failed:{0}; the run ends", m_exitCode);
      return false;
    }
    if (!ParseCommandLine()) return false;
    // Before the manifest: reading it may already use the work folder another run is in.
    if (!CheckSingleRun()) return false;
    if (!LoadManifest()) return false;
    if (!CheckLaunchPackage()) return false;
    LaunchPackages();
  } catch (...) {
    EndWithCurrentException();
  }
  return false;
}

void CTevLauncherApp::ShowMessage(const std::wstring& text, bool alreadyLogged) {
  if (IsHidden()) {
    WriteLog(alreadyLogged ? std::wstring(L"Message not shown: the run is hidden")
                           : L"Message not shown (the run is hidden): " + text);
    return;
  }
  if (!alreadyLogged) WriteLog(L"Message: " + text);
  ShowMessageBox(text);
}

void CTevLauncherApp::ShowMessageBox(const std::wstring& text) {
  MessageBoxW(nullptr, text.c_str(), AppName().c_str(), MB_OK | MB_ICONWARNING);
}

std::wstring CTevLauncherApp::CommandLineArguments() { return GetCommandLineArguments(); }

bool CTevLauncherApp::IsHidden() { return IsStartedHidden(); }

std::wstring CTevLauncherApp::TempFolder() {
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  return folder;
}

std::wstring CTevLauncherApp::ModulePath() { return OwnModulePath(); }

}  // namespace Tevrian
