// The launcher's one application object: it holds the run's shared state, performs the whole
// launch in InitInstance and cleans up and yields the exit code in ExitInstance.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "../conditions/condition_expression.h"
#include "../conditions/token.h"
#include "log.h"
#include "text_template.h"

namespace Tevrian {

// Exit codes the launcher chooses itself (the installers' own codes pass through unchanged).
enum ExitCodes : std::uint32_t {
  kExitSuccess = 0,
  kExitHelpShown = 87,          // ERROR_INVALID_PARAMETER: the help text was shown
  kExitBadArguments = 160,      // ERROR_BAD_ARGUMENTS: a command-line integer beyond 32 bits
  kExitUnexpectedError = 1603,  // ERROR_INSTALL_FAILURE: an error nothing else explained
};

class CTevLauncherApp {
 public:
  CTevLauncherApp();
  virtual ~CTevLauncherApp() = default;
  CTevLauncherApp(const CTevLauncherApp&) = delete;
  CTevLauncherApp& operator=(const CTevLauncherApp&) = delete;

  // Always false: the launcher has no message loop; ExitInstance follows at once.
  virtual bool InitInstance();
  // The process exit code.
  virtual std::uint32_t ExitInstance();

  bool ParseCommandLine();

  void WriteLog(std::wstring_view message) { m_log.WriteLog(message); }
  template <class... Args>
  void WriteLog(std::wstring_view text, const Args&... args) {
    m_log.WriteLog(FormatText(text, args...));
  }

  // Members in the order the run's state is described; later steps add theirs. The log comes
  // first because every other member may write to it.
  CLog m_log;
  Expression::CConditionExpression m_properties;
  std::uint32_t m_exitCode = 0;
  Expression::PropertyMap m_commandLineProperties;
  bool m_quiet = false;
  bool m_scheduleReboot = false;
  bool m_forceReboot = false;
  bool m_noRestart = false;

 protected:
  // The Win32 edge, kept to a few calls so that the logic runs in tests without a window.
  virtual void ShowMessage(const std::wstring& text);
  virtual std::wstring CommandLineArguments();
  virtual bool CheckIntegrity();
  virtual bool InitBuiltinProperties();

 private:
  void EndWithError(const std::wstring& logLine, const std::wstring& message, std::uint32_t exitCode);
};

// The process's argument text, worked out once from GetCommandLineW.
const std::wstring& GetCommandLineArguments();

// True when the process was started hidden (show state SW_HIDE): the run then has no user interface.
bool IsStartedHidden();

}  // namespace Tevrian
