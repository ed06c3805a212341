// The application's side of the package files: the run's folders and the bookkeeping that exit
// uses to restore or delete what the run put into the cache.
#include <windows.h>

#include <ole2.h>
#include <shlobj.h>

#include "../installer/msi_exception.h"
#include "../installer/text.h"
#include "../installer/unique_handle.h"
#include "../packages/partial_file.h"
#include "../packages/path_join.h"
#include "app.h"
#include "folders.h"

namespace Tevrian {
namespace {

constexpr wchar_t kWorkFolderName[] = L"{701B65B4-B91C-4B3B-93A2-8240BBE49DDA}";
constexpr wchar_t kBackupFolderName[] = L"CacheBackup";
constexpr wchar_t kCacheFolderName[] = L"TevLauncherPackageCache";

constexpr DWORD kErrorStoppedOnSymlink = 681;  // ERROR_STOPPED_ON_SYMLINK, missing from mingw's headers
constexpr wchar_t kFolderFailedMessage[] = L"作業フォルダを作成できませんでした。\n{0}\n{1}";

void CreateFolder(const std::wstring& folder) { SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr); }

// Makes `folder` when it is missing; 0 once it is a folder, else the system error that stopped it
// (a file of that name: ERROR_ALREADY_EXISTS; a link: ERROR_STOPPED_ON_SYMLINK; never 0, so that a
// failure cannot pass for success). A link is never taken for a folder of the run's: what it points
// to is not the run's to write into or to empty.
DWORD MakeFolder(const std::wstring& folder) {
  if (IsReparsePoint(folder)) return kErrorStoppedOnSymlink;
  const int made = SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
  if (IsDirectory(folder)) return ERROR_SUCCESS;
  if (made != ERROR_SUCCESS) return static_cast<DWORD>(made);
  const DWORD error = GetLastError();
  return error != ERROR_SUCCESS ? error : ERROR_DIRECTORY;
}

// The known-folder manager, started as a server and asked for its interface; the failing result
// otherwise.
HRESULT CreateKnownFolderManager(TevMSI::ComPtr<IKnownFolderManager>& manager) {
  manager.reset();
  IUnknown* raw = nullptr;
  HRESULT result =
      CoCreateInstance(CLSID_KnownFolderManager, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&raw));
  if (FAILED(result)) return result;
  const TevMSI::ComPtr<IUnknown> unknown(raw);
  if (result = OleRun(unknown.get()); FAILED(result)) return result;
  IKnownFolderManager* found = nullptr;
  result = unknown->QueryInterface(IID_PPV_ARGS(&found));
  manager.reset(SUCCEEDED(result) ? found : nullptr);
  return result;
}

}  // namespace

bool CTevLauncherApp::KnownFolderPath(REFKNOWNFOLDERID id, DWORD flags, std::wstring& path, HRESULT& result) {
  IKnownFolder* rawFolder = nullptr;
  if (result = m_knownFolderManager->GetFolder(id, &rawFolder); FAILED(result)) return false;
  const TevMSI::ComPtr<IKnownFolder> folder(rawFolder);
  PWSTR raw = nullptr;
  result = folder->GetPath(flags, &raw);
  const TevMSI::CTaskMemory<wchar_t> owned(raw);
  if (FAILED(result)) return false;
  path = owned ? owned.get() : L"";
  return true;
}

bool CTevLauncherApp::PrepareFolders() {
  if (!m_knownFolderManager) {
    if (const HRESULT result = CreateKnownFolderManager(m_knownFolderManager); FAILED(result)) {
      m_exitCode = static_cast<std::uint32_t>(result);
      WriteLog(L"Failed. KnownFolderManager:{0}(0x{0:08X})", static_cast<std::int32_t>(result));
      ShowMessage(TevMSI::SystemMessage(static_cast<std::uint32_t>(result)));
      return false;
    }
  }
  // The run's own folders: without them nothing can be acquired, so a failure ends the run with
  // the system's error, in the log and in a message naming the folder.
  const auto need = [this](const std::wstring& folder) {
    const DWORD error = MakeFolder(folder);
    if (error == ERROR_SUCCESS) return true;
    const std::wstring text = TevMSI::SystemMessage(error);
    EndWithRunError(FormatText(L"Failed. PrepareFolders( {0} ):{1}, {2}", folder, error, text),
                    FormatText(kFolderFailedMessage, folder, text), error);
    return false;
  };
  if (m_workFolder.empty()) {
    m_workFolder = JoinPath(TempFolder(), kWorkFolderName);
    // The folder's name is fixed and published: what the first launcher of a launch finds in it was
    // left by another launch, and goes (links removed, never followed). A launcher the running
    // setup started shares the folder with it.
    if (m_firstOfLaunch && !IsReparsePoint(m_workFolder) && IsDirectory(m_workFolder)) {
      WriteLog(L"PrepareFolders( {0} ):left by an earlier launch, emptied", m_workFolder);
      RemoveFolderTree(m_workFolder);
    }
    if (!need(m_workFolder)) return false;
  }
  if (m_backupFolder.empty()) {
    m_backupFolder = JoinPath(m_workFolder, kBackupFolderName);
    if (!need(m_backupFolder)) return false;
  }
  const JSON::JsonObject launchPackage = JSON::WithinMember(
      "LaunchPackage", [&] { return JSON::GetValue(m_manifest, "LaunchPackage", JSON::JsonObject{}); });
  const bool privileged =
      JSON::WithinMember("LaunchPackage", [&] { return JSON::GetValue(launchPackage, "Privileged", false); });
  std::wstring base;
  HRESULT result = S_OK;
  if (privileged) {
    if (!KnownFolderPath(FOLDERID_ProgramData, 0, base, result)) {
      throw TevMSI::CMsiException(result, L"%ProgramData% フォルダが取得できません。");
    }
  } else if (!KnownFolderPath(FOLDERID_AppDataProgramData, KF_FLAG_CREATE, base, result)) {
    // Systems without the per-user program-data folder keep the cache under the local one.
    if (!KnownFolderPath(FOLDERID_LocalAppData, 0, base, result)) {
      throw TevMSI::CMsiException(result, L"%LocalAppData% フォルダが取得できません。");
    }
    base = JoinPath(base, L"ProgramData");
  }
  m_cacheFolder = JoinPath(base, kCacheFolderName);
  CreateFolder(m_cacheFolder);
  WriteLog(L"PrepareFolders():work={0}, cache={1}", m_workFolder, m_cacheFolder);
  return true;
}

void CTevLauncherApp::BackupCacheFile(const std::wstring& path) {
  if (m_restoreFiles.contains(path)) return;
  wchar_t backup[MAX_PATH] = {};
  if (!GetTempFileNameW(m_backupFolder.c_str(), L"TEV", 0, backup)) {
    const DWORD error = GetLastError();
    WriteLog(L"Failed. GetTempFileName( {0} ):{1}, {2}", m_backupFolder, error, TevMSI::SystemMessage(error));
    return;
  }
  if (!CopyFileW(path.c_str(), backup, FALSE)) {
    const DWORD error = GetLastError();
    WriteLog(L"Failed. CopyFile( {0}, {1} ):{2}, {3}", path, backup, error, TevMSI::SystemMessage(error));
    DeleteFileW(backup);
    return;
  }
  m_restoreFiles.emplace(path, backup);
}

void CTevLauncherApp::DownloadFile(const std::wstring& url, const std::wstring& destination,
                                   const JSON::JsonObject& fileEntry, cancellation_token cancel,
                                   CProgressSink* dialog) {
  m_downloader.DownloadFile(url, destination, fileEntry, cancel, dialog);
}

void CTevLauncherApp::RemoveCleanupFileFolder() {
  std::vector<std::wstring> folders;
  for (const std::wstring& path : m_cleanupFiles) {
    // A file that was valid before this run and that it did not touch stays as it is.
    if (m_obtainedFiles.find(path) == m_obtainedFiles.end()) continue;
    if (const auto backup = m_restoreFiles.find(path); backup != m_restoreFiles.end()) {
      WriteLog(L"RestoreFile( {0} <- {1} )", path, backup->second);
      // The last write under a final name in the cache goes through a partial file like every
      // other: a run killed while it restores leaves the file as it was, never half of the backup.
      const std::wstring partial = PartialFilePath(path);
      CPartialFileGuard guard(partial);
      if (!CopyFileW(backup->second.c_str(), partial.c_str(), FALSE)) {
        const DWORD error = GetLastError();
        WriteLog(L"Failed. CopyFile( {0}, {1} ):{2}, {3}", backup->second, partial, error,
                 TevMSI::SystemMessage(error));
      } else if (!CommitPartialFile(partial, path)) {
        const DWORD error = GetLastError();
        WriteLog(L"Failed. MoveFileEx( {0}, {1} ):{2}, {3}", partial, path, error, TevMSI::SystemMessage(error));
      } else {
        guard.Committed();
      }
      continue;
    }
    WriteLog(L"DeleteFile( {0} )", path);
    if (!DeleteFileW(path.c_str())) {
      const DWORD error = GetLastError();
      WriteLog(L"Failed. DeleteFile( {0} ):{1}, {2}", path, error, TevMSI::SystemMessage(error));
    }
    std::wstring folder;
    try {
      folder = ParentFolder(path);
    } catch (const TevMSI::CMsiException& error) {
      // A path no folder can be named for: the others are still cleaned up.
      WriteLog(L"Failed. ParentFolder( {0} ):{1}", path, error.Code());
      continue;
    }
    bool listed = false;
    for (const auto& known : folders) listed = listed || TevMSI::CompareNoCase(known, folder) == 0;
    if (!listed) folders.push_back(folder);
  }
  WriteLog(L"Start RemoveCleanupFileFolder()");
  // One manager for the whole walk, released at exit, rather than one per folder asked about.
  if (!m_knownFolderManager) {
    IKnownFolderManager* manager = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_KnownFolderManager, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&manager)))) {
      m_knownFolderManager.reset(manager);
    }
  }
  for (const auto& folder : folders) {
    RemoveEmptyFolders(m_knownFolderManager.get(), folder, [this](const std::wstring& line) { WriteLog(line); });
  }
  WriteLog(L"End RemoveCleanupFileFolder()");
}

}  // namespace Tevrian
