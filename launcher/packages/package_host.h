// What a package needs of the application while it gets its files and installs: the run's
// folders, the file bookkeeping that exit uses to restore or delete, the launcher's own path, the
// downloader, the process runner, the run's options, the exit code and reboot flags, the
// properties and the log. The application object is the host.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "../conditions/token.h"
#include "../json/json_value.h"
#include "../shared/cancellation_token.h"
#include "../shared/progress_sink.h"

namespace Tevrian {

class CPackageHost {
 public:
  virtual ~CPackageHost() = default;

  virtual void WriteLog(std::wstring_view line) = 0;
  // The launcher's own executable; files named by the manifest are looked for beside it.
  virtual std::wstring LauncherPath() = 0;
  // Files of packages that are not cached go here; cached ones under the cache folder.
  virtual const std::wstring& WorkFolder() const = 0;
  virtual const std::wstring& CacheFolder() const = 0;

  // Keeps one copy of a cached file before it may be overwritten, once per path and run.
  virtual void BackupCacheFile(const std::wstring& path) = 0;
  // A path this run copied or downloaded.
  virtual void AddObtainedFile(const std::wstring& path) = 0;
  // A path to delete or restore at exit when this run obtained it.
  virtual void AddCleanupFile(const std::wstring& path) = 0;

  virtual std::uint32_t ExitCode() const = 0;
  virtual void SetExitCode(std::uint32_t code) = 0;
  // A later reboot asked for by an installer; the next main package turns it into a restart.
  virtual bool ScheduleReboot() const = 0;
  virtual void SetScheduleReboot(bool scheduled) = 0;
  // An installer that needs the machine restarted before anything else is installed.
  virtual void SetForceReboot() = 0;

  // The quiet switch: silent installer command lines.
  virtual bool IsQuiet() const = 0;
  // Started hidden: the programs it starts are started hidden too.
  virtual bool IsHidden() = 0;
  // The user's folder for temporary files, with a trailing backslash (installer logs go there).
  virtual std::wstring TempFolder() = 0;
  // Starts a program through the shell and waits for it while window messages keep flowing.
  // True with its exit code; false with the system error when it did not start or its exit code
  // could not be read. `verb` may be null (the default action) or "RunAs".
  virtual bool RunAndWait(std::uint32_t& exitCode, const std::wstring& program, const std::wstring& parameters,
                          const wchar_t* verb) = 0;
  virtual void SetProperty(const std::wstring& name, const Expression::Token& value) = 0;

  // Downloads and verifies a package file; raises TevMSI::CMsiException on any failure.
  virtual void DownloadFile(const std::wstring& url, const std::wstring& destination, const JSON::JsonObject& fileEntry,
                            cancellation_token cancel, CProgressSink* dialog) = 0;
};

}  // namespace Tevrian
