// What a package needs of the application while it gets its files: the run's folders, the file
// bookkeeping that exit uses to restore or delete, the launcher's own path, the downloader, the
// exit code, the properties and the log. The application object is the host.
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

  virtual void SetExitCode(std::uint32_t code) = 0;
  virtual void SetProperty(const std::wstring& name, const Expression::Token& value) = 0;

  // Downloads and verifies a package file; raises TevMSI::CMsiException on any failure.
  virtual void DownloadFile(const std::wstring& url, const std::wstring& destination, const JSON::JsonObject& fileEntry,
                            cancellation_token cancel, CProgressSink* dialog) = 0;
};

}  // namespace Tevrian
