// Where each file of a package comes from (beside the launcher, or its download address) and
// where it goes (the work folder or the package cache); then each copied or downloaded, verified,
// and recorded for the exit's cleanup.
#include <windows.h>

#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <limits>

#include "../installer/msi_exception.h"
#include "../shared/exit_codes.h"
#include "../shared/text_template.h"
#include "copy_progress.h"
#include "execute_package.h"
#include "file_name_check.h"
#include "partial_file.h"
#include "path_join.h"
#include "verify_file.h"

namespace Tevrian {
namespace {

bool Requested(const cancellation_token& cancel) { return cancel.is_canceled(); }

void Wait(CProgressSink* dialog) {
  if (dialog) dialog->WaitWhilePaused();
}

void Step(CProgressSink* dialog, std::uint32_t units) {
  if (dialog && units != 0) dialog->Advance(units);
}

std::wstring FileName(const JSON::JsonObject& fileEntry) { return JSON::GetValue(fileEntry, "Name", L""); }

}  // namespace

template <class Visit>
bool CExecutePackage::ForEachFileEntry(Visit&& visit) const {
  return Reading("", [&] {
    if (const auto file = entry.find("ExecuteFile"); file != entry.end()) {
      if (!JSON::WithinMember("ExecuteFile", [&] { return visit(file->second.AsObject()); })) return false;
    }
    const auto payloads = entry.find("Payloads");
    if (payloads == entry.end()) return true;
    return JSON::WithinMember("Payloads", [&] {
      std::size_t index = 0;
      for (const JSON::JsonValue& payload : payloads->second.AsArray()) {
        if (!JSON::WithinElement(index++, [&] { return visit(payload.AsObject()); })) return false;
      }
      return true;
    });
  });
}

void CExecutePackage::CheckFileNames() const {
  ForEachFileEntry([](const JSON::JsonObject& fileEntry) {
    const std::wstring& name = JSON::RequiredString(fileEntry, "Name");
    if (const std::wstring reason = UnsafeFileNameReason(name); !reason.empty()) {
      throw JSON::BadAnyCast(L"the file name \"" + Shorten(name) + L"\" cannot be used: " + reason)
          .WithinMember("Name");
    }
    return true;
  });
  if (Reading("Cache", [&] { return JSON::GetValue(entry, "Cache", false); })) CacheSubfolder();
}

bool CExecutePackage::GetCacheFolder(std::wstring& folder) const {
  folder = m_host->WorkFolder();
  if (!Reading("Cache", [&] { return JSON::GetValue(entry, "Cache", false); })) return false;
  folder = m_host->CacheFolder();
  if (const std::wstring sub = CacheSubfolder(); !sub.empty()) folder = JoinPath(folder, sub);
  return true;
}

std::wstring CExecutePackage::CacheSubfolder() const {
  for (const char* member : {"CacheId", "ProductCode", "Id"}) {
    if (!entry.contains(member)) continue;
    return Reading(member, [&] {
      return JSON::WithinMember(member, [&] {
        const std::wstring sub = JSON::GetValue(entry, member, L"");
        // A folder under the cache named by the manifest, like a file's name: it must stay inside.
        if (const std::wstring reason = UnsafeFileNameReason(sub); !reason.empty()) {
          throw JSON::BadAnyCast(L"the cache folder name \"" + Shorten(sub) + L"\" cannot be used: " + reason);
        }
        return sub;
      });
    });
  }
  return {};
}

bool CExecutePackage::ResolveFile(const JSON::JsonObject& fileEntry, cancellation_token cancel, CProgressSink* dialog) {
  const std::wstring name = FileName(fileEntry);
  PackageFile& file = files[name];
  Step(dialog, 1);
  Wait(dialog);
  if (Requested(cancel)) return false;
  file.source = JoinPath(FolderOf(m_host->LauncherPath()), name);
  file.local = false;
  if (PathFileExistsW(file.source.c_str()) &&
      VerifyFile(file.source, fileEntry, [this](std::wstring_view line) { m_host->WriteLog(line); }) == 0) {
    file.local = true;
  } else {
    file.source = JSON::GetValue(fileEntry, "DownloadUrl", L"");
  }
  std::wstring folder;
  file.cached = GetCacheFolder(folder);
  file.cachePath = JoinPath(folder, name);
  Wait(dialog);
  return !Requested(cancel);
}

bool CExecutePackage::ResolveFiles(cancellation_token cancel, CProgressSink* dialog) {
  return ForEachFileEntry([&](const JSON::JsonObject& fileEntry) { return ResolveFile(fileEntry, cancel, dialog); });
}

bool CExecutePackage::AcquireFile(const JSON::JsonObject& fileEntry, cancellation_token cancel, CProgressSink* dialog) {
  const LogSink log = [this](std::wstring_view line) { m_host->WriteLog(line); };
  const auto cancelled = [&] {
    if (!Requested(cancel)) return false;
    m_host->SetExitCode(kExitCancelled);
    return true;
  };
  if (entry.contains("DisplayName")) {
    m_host->SetProperty(L"DisplayName",
                        Expression::Token::Text(Expression::TokenKind::String, Reading("DisplayName", [&] {
                                                  return JSON::GetValue(entry, "DisplayName", L"");
                                                })));
  }
  const auto found = files.find(FileName(fileEntry));
  if (found == files.end()) return false;
  const PackageFile& file = found->second;
  // Only a cached file is ever taken as found: the work folder's name is fixed and published, so a
  // file there may have been put by anyone, and it is acquired again (and replaced) instead.
  if (file.cached && PathFileExistsW(file.cachePath.c_str())) {
    m_host->BackupCacheFile(file.cachePath);
    Wait(dialog);
    if (cancelled()) return false;
    if (VerifyFile(file.cachePath, fileEntry, log) == 0) {
      if (!fileEntry.contains("Size")) return true;
      const std::int32_t size = JSON::GetExactInteger(fileEntry, "Size", 0);
      if (size != 0) {
        Step(dialog, static_cast<std::uint32_t>(size));
        Wait(dialog);
      }
      return !cancelled();
    }
  }
  if (file.local) {
    if (!CopyLocalFile(file, fileEntry, cancel, dialog)) {
      m_host->SetExitCode(kExitCancelled);
      return false;
    }
  } else {
    m_host->DownloadFile(file.source, file.cachePath, fileEntry, cancel, dialog);
  }
  m_host->AddObtainedFile(file.cachePath);
  Wait(dialog);
  return !cancelled();
}

bool CExecutePackage::CopyLocalFile(const PackageFile& file, const JSON::JsonObject& fileEntry,
                                    const cancellation_token& cancel, CProgressSink* dialog) {
  const LogSink log = [this](std::wstring_view line) { m_host->WriteLog(line); };
  const auto fail = [&](const wchar_t* call, DWORD error) {
    log(FormatText(L"Failed. {0}( {1}, {2} ):{3}, {4}", call, file.source, file.cachePath, error,
                   TevMSI::SystemMessage(error)));
    throw TevMSI::ErrorAtPath(static_cast<std::int32_t>(error), file.cachePath);
  };
  SHCreateDirectoryExW(nullptr, FolderOf(file.cachePath).c_str(), nullptr);
  // The copy is written beside its destination and put in place whole, like a download.
  const std::wstring partial = PartialFilePath(file.cachePath);
  DeleteFileW(partial.c_str());
  CPartialFileGuard guard(partial);
  if (dialog) {
    CopyProgress progress{dialog, &cancel, {}};
    if (!CopyWithProgress(file.source, partial, progress)) {
      const DWORD error = GetLastError();
      if (Requested(cancel)) {
        log(FormatText(L"Canceled. CopyFileEx( {0}, {1} ):{2}, {3}", file.source, file.cachePath, error,
                       TevMSI::SystemMessage(error)));
        return false;
      }
      fail(L"CopyFileEx", error);
    }
    // A copy routine that reported less than the declared size (Wine's never reports at all)
    // leaves the rest to be counted here, so that the bar still reaches its end.
    const std::int64_t declared = JSON::GetExactInteger(fileEntry, "Size", 0);
    if (declared > progress.counted.QuadPart) {
      Step(dialog, static_cast<std::uint32_t>(declared - progress.counted.QuadPart));
    }
  } else if (!CopyFileW(file.source.c_str(), partial.c_str(), FALSE)) {
    fail(L"CopyFile", GetLastError());
  }
  const DWORD attributes = GetFileAttributesW(partial.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    SetFileAttributesW(partial.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  }
  // The source was verified when it was found; the copy is checked too, so that a source changed
  // since then, or a copy gone wrong, never enters the cache.
  if (const std::uint32_t rc = VerifyFile(partial, fileEntry, log); rc != 0) {
    throw TevMSI::CMsiException(static_cast<std::int32_t>(HRESULT_FROM_WIN32(rc)));
  }
  if (!CommitPartialFile(partial, file.cachePath)) fail(L"MoveFileEx", GetLastError());
  guard.Committed();
  return true;
}

bool CExecutePackage::AcquireFiles(cancellation_token cancel, CProgressSink* dialog) {
  return ForEachFileEntry([&](const JSON::JsonObject& fileEntry) { return AcquireFile(fileEntry, cancel, dialog); });
}

void CExecutePackage::AddCleanupFiles() {
  for (const auto& [name, file] : files) {
    if (!file.cached) continue;
    m_host->AddCleanupFile(file.cachePath);
    m_host->WriteLog(FormatText(L"AddCleanupFile( {0} )", file.cachePath));
  }
}

std::wstring CExecutePackage::GetExecuteFilePath() const {
  const auto executeFile = entry.find("ExecuteFile");
  if (executeFile == entry.end() || !executeFile->second.IsObject()) return {};
  const auto found = files.find(FileName(executeFile->second.AsObject()));
  return found == files.end() ? std::wstring() : found->second.cachePath;
}

std::int32_t CExecutePackage::GetTotalSize() const {
  // Summed wide and held to the 32-bit range: sizes near 2 GiB each must not wrap into a
  // negative total.
  std::int64_t total = 0;
  ForEachFileEntry([&](const JSON::JsonObject& fileEntry) {
    total += JSON::GetExactInteger(fileEntry, "Size", 0);
    return true;
  });
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(total, 0, std::numeric_limits<std::int32_t>::max()));
}

}  // namespace Tevrian
