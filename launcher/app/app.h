// The launcher's one application object: it holds the run's shared state, performs the whole
// launch in InitInstance and cleans up and yields the exit code in ExitInstance.
#pragma once

#include <windows.h>

#include <shobjidl.h>

#include <cstdint>
#include <list>
#include <map>
#include <set>
#include <string>
#include <string_view>

#include "../conditions/condition_expression.h"
#include "../installer/unique_handle.h"
#include "../json/json_value.h"
#include "../packages/downloader.h"
#include "../packages/package_chain.h"
#include "../packages/package_host.h"
#include "../conditions/token.h"
#include "log.h"
#include "setup_run_lock.h"
#include "../shared/exit_codes.h"
#include "../shared/text_template.h"

namespace Tevrian {

class CAsyncActionDlg;

class CTevLauncherApp : public CPackageHost {
 public:
  CTevLauncherApp();
  // Writes the log file through `appender` (tests keep the lines in memory).
  explicit CTevLauncherApp(CLog::Appender appender);
  virtual ~CTevLauncherApp() = default;
  CTevLauncherApp(const CTevLauncherApp&) = delete;
  CTevLauncherApp& operator=(const CTevLauncherApp&) = delete;

  // Always false: the launcher has no message loop; ExitInstance follows at once.
  virtual bool InitInstance();
  // The process exit code.
  virtual std::uint32_t ExitInstance();

  bool ParseCommandLine();
  // One run per user session: false (exit code 1618, explained) when another setup runs.
  bool CheckSingleRun();
  bool LoadManifest();
  bool LoadPropertyDefinitions();
  // Fetches the launcher named by an accepted newer manifest into the work folder and runs it with
  // this launcher's arguments, once its signature verifies; the exit code it leaves in m_exitCode
  // is the other launcher's, or the reason it did not run.
  std::uint32_t RunOtherLauncher(const std::wstring& address);

  bool RunAndWait(std::uint32_t& exitCode, const std::wstring& program, const std::wstring& parameters,
                  const wchar_t* verb) override;
  // The launch checks: the manifest's condition, the target package, a conflicting application,
  // and the elevation restart. False ends the start-up.
  bool CheckLaunchPackage();
  // The run: the folders, then phases 1 and 2 of the chain under the progress dialog (on this
  // thread when the run is hidden), then phase 3 here once the dialog has gone, only when both
  // phases succeeded. Installer errors become the exit code and a message; others are raised on.
  void LaunchPackages();
  // Deletes or restores the cleanup paths and removes the folders that leaves empty.
  void RemoveCleanupFileFolder();

  // Every message of the launcher: written to the log, and shown in a message box unless the run is
  // hidden (a box nobody can see would hang the program that started the launcher).
  // `alreadyLogged`: the caller wrote the text to the log itself, as its own line.
  void ShowMessage(const std::wstring& text, bool alreadyLogged = false);
  // Starts the log file if none was started yet, under the package's name or "TevLauncher", so
  // that the reason a run ended is kept even when it ended before its log file was named.
  void EnsureLogFile();

  void WriteLog(std::wstring_view message) override { m_log.WriteLog(message); }
  template <class... Args>
  void WriteLog(std::wstring_view text, const Args&... args) {
    m_log.WriteLog(FormatText(text, args...));
  }

  // The run's folders: the work folder and its backup folder, and the package cache (per machine
  // for a privileged launch, per user otherwise). False when the launch must not go on (the exit
  // code is set and the reason shown); raises TevMSI::CMsiException when the cache's base folder
  // cannot be named.
  bool PrepareFolders();

  // The package host: the file work of the packages reaches the run's state through these.
  std::wstring LauncherPath() override { return ModulePath(); }
  const std::wstring& WorkFolder() const override { return m_workFolder; }
  const std::wstring& CacheFolder() const override { return m_cacheFolder; }
  void BackupCacheFile(const std::wstring& path) override;
  void AddObtainedFile(const std::wstring& path) override { m_obtainedFiles.insert(path); }
  void AddCleanupFile(const std::wstring& path) override { m_cleanupFiles.push_back(path); }
  std::uint32_t ExitCode() const override { return m_exitCode; }
  void SetExitCode(std::uint32_t code) override { m_exitCode = code; }
  bool ScheduleReboot() const override { return m_scheduleReboot; }
  void SetScheduleReboot(bool scheduled) override { m_scheduleReboot = scheduled; }
  void SetForceReboot() override { m_forceReboot = true; }
  bool IsQuiet() const override { return m_quiet; }
  bool IsHidden() override;
  std::wstring TempFolder() override;
  void SetProperty(const std::wstring& name, const Expression::Token& value) override {
    m_properties.SetProperty(name, value);
  }
  void DownloadFile(const std::wstring& url, const std::wstring& destination, const JSON::JsonObject& fileEntry,
                    cancellation_token cancel, CProgressSink* dialog) override;

  // Members in the order the run's state is described. The log comes
  // first because every other member may write to it; before it only the session's setup lock,
  // which goes last: held until everything of the run is released.
  CSetupRunLock m_runLock;
  // Whether this launcher is the first of its launch (not one the running setup started): it then
  // owns the work folder and empties what an earlier launch left in it.
  bool m_firstOfLaunch = true;
  CLog m_log;
  Expression::CConditionExpression m_properties;
  std::uint32_t m_exitCode = 0;
  Expression::PropertyMap m_commandLineProperties;
  JSON::JsonObject m_manifest;
  CPackageChain m_packages;
  bool m_quiet = false;
  bool m_scheduleReboot = false;
  bool m_forceReboot = false;
  bool m_noRestart = false;
  // Created by the cache preparation; released at exit.
  TevMSI::ComPtr<IKnownFolderManager> m_knownFolderManager;
  std::wstring m_workFolder, m_backupFolder, m_cacheFolder;
  // Paths this run copied or downloaded; cached paths with their backups; every path handed to
  // the cleanup, in order, duplicates kept.
  std::set<std::wstring> m_obtainedFiles;
  std::map<std::wstring, std::wstring> m_restoreFiles;
  std::list<std::wstring> m_cleanupFiles;
  // The download client's root handle and connections, kept for the run.
  CDownloader m_downloader;

 protected:
  // The Win32 edge, kept to a few calls so that the logic runs in tests without a window.
  virtual void ShowMessageBox(const std::wstring& text);
  // Makes the run's new log file `name` in `folder`; its path (see CreateNewLogFile).
  virtual std::wstring CreateLogFile(const std::wstring& folder, const std::wstring& name);
  virtual std::wstring CommandLineArguments();
  virtual bool CheckIntegrity();
  virtual bool InitBuiltinProperties();
  // The manifest resource's bytes; false with the system error when it cannot be read.
  virtual bool ReadManifestResource(std::string& bytes, std::uint32_t& error);
  virtual bool IsElevated();
  virtual std::wstring ModulePath();
  // The known folder the cache lives under; false with the failing result.
  virtual bool KnownFolderPath(REFKNOWNFOLDERID id, DWORD flags, std::wstring& path, HRESULT& result);
  // Follows the chain of newer manifests from the embedded "Latest" (HTTPS only); false ends the
  // start-up (another launcher ran). Virtual so that tests can watch the start-up's order.
  virtual bool UpdateManifest(const JSON::JsonObject& embeddedLaunchPackage);
  // Takes the session's setup lock (kept to the end of the exit).
  virtual SetupRunState AcquireSetupRun();

 private:
  // The product code of an installed application that conflicts with the target package; empty
  // when there is none.
  std::wstring FindConflictingProduct(const JSON::JsonObject& launchPackage, const std::wstring& targetName);
  void StartLogFile(const std::wstring& packageName);
  // Ends the run on the exception being handled, keeping its code and its text: a malformed
  // manifest (13, naming the member or condition), an installer error (its code), anything else
  // (1603). Never raises.
  void EndWithCurrentException() noexcept;
  void EndWithUnexpectedError(const std::wstring& what);
  // An error that ends the run: logged (a log file is started if none was yet, so that the reason
  // is kept) and shown unless the run is hidden.
  void EndWithRunError(const std::wstring& logLine, const std::wstring& message, std::uint32_t exitCode);
  // Phases 1 and 2; true when both succeeded.
  bool RunFirstPhases(cancellation_token cancel, CAsyncActionDlg* dialog);
  bool RunFirstPhasesUnderDialog();
  bool RunFirstPhasesHidden();
};

// The launcher's own file.
std::wstring OwnModulePath();

// The process's argument text, worked out once from GetCommandLineW.
const std::wstring& GetCommandLineArguments();

// True when the process was started hidden (show state SW_HIDE): the run then has no user interface.
bool IsStartedHidden();

}  // namespace Tevrian
