#include "app.h"

#include <windows.h>

#include <commctrl.h>
#include <ole2.h>

#include <stdexcept>

#include "../conditions/expression.h"
#include "../conditions/property_list.h"
#include "../installer/unique_handle.h"
#include "command_line.h"
#include "integrity.h"
#include "log_file.h"

namespace Tevrian {
namespace {

constexpr UINT kAppNameStringId = 57344;
constexpr wchar_t kCommandLineErrorMessage[] = L"コマンドライン引数に間違いがあります。";
constexpr wchar_t kIntegrityFailureMessage[] =
    L"TevLauncher のファイルの署名を確認できませんでした(0x{0:08X})。\n"
    L"ファイルが壊れているか、変更されています。実行を中止します。";
constexpr wchar_t kUnexpectedErrorMessage[] = L"予期しないエラーが発生しました。\n{0}\n実行を中止します。";

#ifdef TEV_REQUIRE_SIGNATURE
constexpr bool kRequireSignature = true;
#else
constexpr bool kRequireSignature = false;
#endif

std::wstring ModulePath() {
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

std::wstring AppName() {
  const wchar_t* text = nullptr;
  const int length = LoadStringW(GetModuleHandleW(nullptr), kAppNameStringId, reinterpret_cast<LPWSTR>(&text), 0);
  return length > 0 ? std::wstring(text, static_cast<std::size_t>(length)) : std::wstring(L"TevLauncher");
}

std::wstring Widen(const char* text) {
  std::wstring wide;
  for (; *text; ++text) wide += static_cast<wchar_t>(static_cast<unsigned char>(*text));
  return wide;
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

CTevLauncherApp::CTevLauncherApp()
    : m_log(CurrentLocalTime, AppendLogLines), m_properties([this](std::wstring_view line) { WriteLog(line); }) {}

bool CTevLauncherApp::InitInstance() {
  try {
    InitCommonControls();
    OleInitialize(nullptr);
    if (!CheckIntegrity()) return false;
    if (!InitBuiltinProperties()) return false;
    if (!ParseCommandLine()) return false;
  } catch (const std::exception& error) {
    // Nothing may leave the start-up as an unhandled exception: explain it and end in order.
    const std::wstring what = Widen(error.what());
    EndWithError(FormatText(L"Unexpected error: {0}", what), FormatText(kUnexpectedErrorMessage, what),
                 kExitUnexpectedError);
  }
  return false;
}

std::uint32_t CTevLauncherApp::ExitInstance() {
  WriteLog(L"ExitCode={0}(0x{0:08X})", static_cast<std::int32_t>(m_exitCode));
  WriteLog(L"m_scheduleReboot={0}, m_forceReboot={1}", m_scheduleReboot, m_forceReboot);
  m_properties.LogProperties();
  if (m_quiet && (m_forceReboot || m_scheduleReboot)) m_exitCode = ERROR_SUCCESS_REBOOT_REQUIRED;
  return m_exitCode;
}

bool CTevLauncherApp::ParseCommandLine() {
  m_exitCode = 0;
  const std::wstring arguments = CommandLineArguments();
  WriteLog(L"CommandLine={0}", arguments);

  Expression::TokenList tokens;
  try {
    tokens = Expression::Tokenize(arguments);
  } catch (const std::out_of_range&) {
    EndWithError(L"CommandLine error: an integer is beyond the 32-bit range", kCommandLineErrorMessage,
                 kExitBadArguments);
    return false;
  } catch (const std::invalid_argument&) {
    EndWithError(L"CommandLine error: a digit run is not a number", kCommandLineErrorMessage, kExitBadArguments);
    return false;
  }

  CommandLineSwitches switches;
  const auto onDebug = [this] {
    std::wstring text = L"Debug Break\n";
    Expression::AppendPropertyList(text, m_commandLineProperties);
    WriteLog(text);
    ShowMessage(text);
  };
  const CommandLineWalk walk = WalkCommandLine(tokens, switches, m_commandLineProperties, onDebug);
  m_quiet = m_quiet || switches.quiet;
  m_noRestart = m_noRestart || switches.noRestart;
  if (walk == CommandLineWalk::Error) {
    ShowMessage(kCommandLineErrorMessage);
    return false;
  }
  if (walk == CommandLineWalk::Help) {
    std::wstring text = kHelpText;
    Expression::AppendPropertyList(text, m_commandLineProperties);
    ShowMessage(text);
    m_exitCode = kExitHelpShown;
    return false;
  }
  return true;
}

void CTevLauncherApp::ShowMessage(const std::wstring& text) {
  MessageBoxW(nullptr, text.c_str(), AppName().c_str(), MB_OK | MB_ICONWARNING);
}

std::wstring CTevLauncherApp::CommandLineArguments() { return GetCommandLineArguments(); }

bool CTevLauncherApp::InitBuiltinProperties() {
  return m_properties.InitBuiltinProperties([this](const std::wstring& text) { ShowMessage(text); });
}

bool CTevLauncherApp::CheckIntegrity() {
  const std::wstring path = ModulePath();
  const SignatureCheck check = VerifyOwnSignature(path);
  switch (check.state) {
    case SignatureState::Verified:
      WriteLog(L"VerifySignature( {0} ):verified", path);
      return true;
    case SignatureState::Unsigned:
      WriteLog(L"VerifySignature( {0} ):unsigned(0x{1:08X})", path, check.status);
      if (!kRequireSignature) return true;
      break;
    case SignatureState::Invalid:
      WriteLog(L"VerifySignature( {0} ):failed(0x{1:08X})", path, check.status);
      break;
  }
  ShowMessage(FormatText(kIntegrityFailureMessage, check.status));
  return false;
}

void CTevLauncherApp::EndWithError(const std::wstring& logLine, const std::wstring& message, std::uint32_t exitCode) {
  WriteLog(logLine);
  ShowMessage(message);
  m_exitCode = exitCode;
}

}  // namespace Tevrian
