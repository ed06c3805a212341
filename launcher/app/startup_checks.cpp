// The start-up's own checks, before the manifest is read: the launcher's file, the Windows it runs
// on, its command line, and the one setup run per session.
#include <windows.h>

#include <stdexcept>

#include "../conditions/property_list.h"
#include "../installer/msi_exception.h"
#include "app.h"
#include "command_line.h"
#include "integrity.h"
#include "signature_policy.h"

namespace Tevrian {
namespace {

constexpr wchar_t kCommandLineErrorMessage[] = L"コマンドライン引数に間違いがあります。";
constexpr wchar_t kCommandLineArgumentMessage[] = L"コマンドライン引数に間違いがあります。\n{0}=";
constexpr wchar_t kIntegrityFailureMessage[] =
    L"TevLauncher のファイルの署名を確認できませんでした(0x{0:08X})。\n"
    L"ファイルが壊れているか、変更されています。実行を中止します。";
constexpr wchar_t kAlreadyRunningMessage[] =
    L"別のセットアップを実行中です。\n実行中のセットアップが終わってから、もう一度実行してください。";

}  // namespace

bool CTevLauncherApp::CheckIntegrity() {
  const std::wstring path = OwnModulePath();
  const SignatureCheck check = VerifyOwnSignature(path);
  switch (check.state) {
    case SignatureState::Verified:
      WriteLog(L"VerifySignature( {0} ):verified", path);
      return true;
    case SignatureState::Unsigned:
      WriteLog(L"VerifySignature( {0} ):unsigned(0x{1:08X})", path, check.status);
      if (!SignatureRequired()) return true;
      break;
    case SignatureState::Invalid:
      WriteLog(L"VerifySignature( {0} ):failed(0x{1:08X})", path, check.status);
      break;
  }
  // Through the run's error end: the reason reaches a log file, and a hidden run opens no window.
  EndWithRunError(FormatText(L"The launcher's own file is refused (0x{0:08X}); the run ends", check.status),
                  FormatText(kIntegrityFailureMessage, check.status), kExitInvalidImageHash);
  return false;
}

bool CTevLauncherApp::InitBuiltinProperties() {
  std::uint32_t error = 0;
  if (m_properties.InitBuiltinProperties([this](const std::wstring& text) { ShowMessage(text); }, &error)) return true;
  m_exitCode = error;
  return false;
}

bool CTevLauncherApp::ParseCommandLine() {
  m_exitCode = 0;
  const std::wstring arguments = CommandLineArguments();
  WriteLog(L"CommandLine={0}", arguments);

  Expression::TokenList tokens;
  try {
    tokens = Expression::Tokenize(arguments);
  } catch (const std::out_of_range&) {
    EndWithRunError(L"CommandLine error: an integer is beyond the 32-bit range", kCommandLineErrorMessage,
                    kExitBadArguments);
    return false;
  } catch (const std::invalid_argument&) {
    EndWithRunError(L"CommandLine error: a digit run is not a number", kCommandLineErrorMessage, kExitBadArguments);
    return false;
  }

  CommandLineSwitches switches;
  const auto onDebug = [this] {
    std::wstring text = L"Debug Break\n";
    Expression::AppendPropertyList(text, m_commandLineProperties);
    WriteLog(text);
    ShowMessage(text, true);
  };
  std::wstring malformed;
  const CommandLineWalk walk = WalkCommandLine(tokens, switches, m_commandLineProperties, onDebug, &malformed);
  m_quiet = m_quiet || switches.quiet;
  m_noRestart = m_noRestart || switches.noRestart;
  if (walk == CommandLineWalk::Error) {
    // A calling program must not read a refused run as done: the code msiexec gives a bad
    // command line, with the argument named where the user and the log can see it.
    EndWithRunError(FormatText(L"CommandLine error: the value given to {0} is not a value", malformed),
                    FormatText(kCommandLineArgumentMessage, malformed), kExitInvalidCommandLine);
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

SetupRunState CTevLauncherApp::AcquireSetupRun() { return m_runLock.Acquire(kSetupRunLockName, ParentProcessId()); }

bool CTevLauncherApp::CheckSingleRun() {
  switch (AcquireSetupRun()) {
    case SetupRunState::First:
      return true;
    case SetupRunState::SameLaunch:
      WriteLog(L"CheckSingleRun: started by the setup that is running (the same launch)");
      m_firstOfLaunch = false;
      return true;
    case SetupRunState::Unguarded:
      // A lock that cannot be made must not keep the user from installing.
      WriteLog(L"Failed. CheckSingleRun: CreateMutex():{0}, {1}; the run goes on without the lock", m_runLock.Error(),
               TevMSI::SystemMessage(m_runLock.Error()));
      return true;
    case SetupRunState::AlreadyRunning:
      break;
  }
  EndWithRunError(L"CheckSingleRun: another setup is running in this session", kAlreadyRunningMessage,
                  kExitAlreadyRunning);
  return false;
}

}  // namespace Tevrian
