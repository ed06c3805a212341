// A package of the chain: one object per "LaunchList" entry, deciding once, when it is built,
// whether it applies to this machine, and getting its files; each kind installs in its own way.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "../conditions/condition_expression.h"
#include "../json/json_value.h"
#include "../shared/cancellation_token.h"
#include "../shared/progress_sink.h"
#include "package_host.h"

namespace Tevrian {

// One file of a package, as the first run phase resolved it.
struct PackageFile {
  // Found beside the launcher and verified there.
  bool local = false;
  // The path beside the launcher when `local`, else the entry's "DownloadUrl".
  std::wstring source;
  // Where the file is placed: the package's cache folder (or the work folder) joined with "Name".
  std::wstring cachePath;
  // The package's "Cache" flag.
  bool cached = false;
};

class CExecutePackage {
 public:
  CExecutePackage(JSON::JsonObject entry, const Expression::CConditionExpression& properties);
  virtual ~CExecutePackage() = default;
  CExecutePackage(const CExecutePackage&) = delete;
  CExecutePackage& operator=(const CExecutePackage&) = delete;

  virtual std::wstring GetPackageType() const = 0;
  // Installs the package from its cached executed file; true when the chain may go on.
  virtual bool Execute(const std::wstring& executeFilePath) = 0;
  // The base evaluates "ExecuteCondition" (absent: the package applies).
  virtual bool IsExecute();

  bool IsPreRequired() const;
  std::wstring GetId() const;

  // Every file entry's "Name" must be a relative path that stays inside its folder; any other is a
  // malformed manifest (JSON::BadAnyCast naming the member), found when the chain is loaded.
  void CheckFileNames() const;

  // The package's files: where each comes from and goes, then each copied or downloaded and
  // verified. False when cancellation was requested (AcquireFile(s) then set the exit code 1602);
  // copy and download failures raise TevMSI::CMsiException. `dialog` may be null.
  bool ResolveFiles(cancellation_token cancel, CProgressSink* dialog);
  bool ResolveFile(const JSON::JsonObject& fileEntry, cancellation_token cancel, CProgressSink* dialog);
  bool AcquireFiles(cancellation_token cancel, CProgressSink* dialog);
  bool AcquireFile(const JSON::JsonObject& fileEntry, cancellation_token cancel, CProgressSink* dialog);
  // Hands every cached file of the package to the exit's cleanup.
  void AddCleanupFiles();
  // The work folder, or the cache folder (under "CacheId", "ProductCode" or "Id") with true when
  // the package's "Cache" is true.
  bool GetCacheFolder(std::wstring& folder) const;
  // Where the "ExecuteFile" was placed; empty when it was not resolved.
  std::wstring GetExecuteFilePath() const;
  // The declared "Size" of the "ExecuteFile" and of every payload (absent counts 0).
  std::int32_t GetTotalSize() const;

  void SetHost(CPackageHost* host) { m_host = host; }

  // Where the entry lies in the manifest ("LaunchList[2].MsiPackage"), for errors about it.
  const std::wstring& Path() const { return m_path; }
  void SetPath(std::wstring path) { m_path = std::move(path); }
  // Runs `read` on this package's entry: a wrong member names its full path, a condition that
  // cannot be evaluated names its member and the package.
  template <class Read>
  decltype(auto) Reading(std::string_view member, Read&& read) const {
    try {
      return read();
    } catch (JSON::BadAnyCast& error) {
      error.At(m_path);
      throw;
    } catch (Expression::ConditionError& error) {
      error.Owner(ConditionOwner(member));
      throw;
    }
  }

  JSON::JsonObject entry;
  bool execute = false;
  std::map<std::wstring, PackageFile> files;

 protected:
  // "the "ExecuteCondition" of package Id X (LaunchList[1].ExePackage.ExecuteCondition)"
  std::wstring ConditionOwner(std::string_view member) const;

  const Expression::CConditionExpression& m_properties;
  std::wstring m_path;
  CPackageHost* m_host = nullptr;

 private:
  // The folder under the cache that "CacheId", else "ProductCode", else "Id" names; empty when none.
  std::wstring CacheSubfolder() const;
  // Copies a file found beside the launcher into place; false when cancelled (logged).
  bool CopyLocalFile(const PackageFile& file, const JSON::JsonObject& fileEntry, const cancellation_token& cancel,
                     CProgressSink* dialog);
  // The "ExecuteFile" object then each "Payloads" element, in order; `visit` returns false to stop.
  template <class Visit>
  bool ForEachFileEntry(Visit&& visit) const;
};

}  // namespace Tevrian
