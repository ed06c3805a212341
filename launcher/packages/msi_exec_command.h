// The msiexec /i command line of a product package: the program and the parameters the run's
// process runner starts.
#pragma once

#include <windows.h>

#include <string>

#include "../shared/local_time.h"
#include "execute_package.h"
#include "install_mode.h"

namespace Tevrian {

class CMsiExecCommand {
 public:
  CMsiExecCommand();
  // Stores the package and decides from the installed products whether it reinstalls.
  void SetPackage(const std::wstring& path);
  // The same with a mode already known.
  void SetPackage(const std::wstring& path, InstallMode mode);
  // Where msiexec writes its verbose log; empty for none.
  void SetLogFile(const std::wstring& path);
  // One more token of the argument text, after one space; an empty token adds nothing.
  void AddArgument(const std::wstring& token);

  // The program to start: the system folder's msiexec.exe; empty when that folder cannot be read.
  const std::wstring& Program() const { return m_program; }
  // The exact parameter text msiexec.exe is started with.
  std::wstring Parameters() const;
  InstallMode Mode() const { return m_installMode; }
  const std::wstring& Arguments() const { return m_arguments; }

 private:
  std::wstring m_program;
  std::wstring m_packagePath;
  InstallMode m_installMode = InstallModeNotOpened;
  std::wstring m_arguments;
  std::wstring m_logFile;
};

// msiexec.exe of the system folder; empty when the folder cannot be read. Never the bare name: the
// shell would look in the current folder first, and a launcher started from a Downloads folder
// would run, elevated, whatever msiexec.exe lies there.
std::wstring SystemMsiexecPath();

// The msiexec option of a "UILevel" ("None", "Basic", "Reduce", "Full", matched exactly), such as
// "/qn"; empty for any other text.
std::wstring UILevelArgument(const std::wstring& uiLevel);

// The installer log of a package named `displayName` started at `time`:
// "<folder><name>_MSI_2024-03-05-09-07-02.log", the name made safe for a file name. A long name
// is cut so that the whole path stays within the platform's 260-unit limit; empty when even the
// time does not fit.
std::wstring InstallerLogPath(const std::wstring& folder, std::wstring displayName, const LocalTime& time);

// The same for now, in `folder`.
std::wstring InstallerLogPath(const std::wstring& folder, const std::wstring& displayName);

// The installer log of `package` in the host's temporary folder: empty when the package has no
// "DisplayName", or when the folder's path leaves no room for one (which is logged).
std::wstring PackageInstallerLog(const CExecutePackage& package, CPackageHost& host);

}  // namespace Tevrian
