#include "folders.h"

#include <shlobj.h>

#include <memory>

#include <string_view>

#include "../installer/msi_exception.h"
#include "../installer/text.h"
#include "../installer/unique_handle.h"
#include "../packages/path_join.h"

namespace Tevrian {
namespace {

std::wstring WithoutTrailingSeparator(std::wstring path) {
  while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  return path;
}

bool KnownFolderByList(IKnownFolderManager* manager, const std::wstring& folder) {
  KNOWNFOLDERID* rawIds = nullptr;
  UINT count = 0;
  if (FAILED(manager->GetFolderIds(&rawIds, &count))) return IsStandardKnownFolder(folder);
  const TevMSI::CTaskMemory<KNOWNFOLDERID> ids(rawIds);
  bool known = false;
  for (UINT i = 0; i < count && !known; ++i) {
    PWSTR raw = nullptr;
    const HRESULT found = SHGetKnownFolderPath(ids.get()[i], KF_FLAG_DONT_VERIFY, nullptr, &raw);
    const TevMSI::CTaskMemory<wchar_t> path(raw);
    if (SUCCEEDED(found) && path) {
      known = TevMSI::CompareNoCase(WithoutTrailingSeparator(path.get()), WithoutTrailingSeparator(folder)) == 0;
    }
  }
  return known;
}

}  // namespace

std::wstring ParentFolder(const std::wstring& path) {
  for (wchar_t c : path) {
    if (c < 32 || c == L'"' || c == L'<' || c == L'>' || c == L'|') throw TevMSI::CMsiException(87);
  }
  const std::size_t separator = path.find_last_of(L"\\/");
  if (separator == std::wstring::npos) return {};
  if (separator <= 1) return path.substr(0, separator);
  if (path[separator - 1] == L':') return path.substr(0, separator + 1);  // the drive root keeps its backslash
  return path.substr(0, separator);
}

bool IsDirectory(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::wstring ShortPathName(const std::wstring& path) {
  const DWORD size = GetShortPathNameW(path.c_str(), nullptr, 0);
  if (size == 0) return {};
  std::wstring shortened(size, L'\0');
  const DWORD length = GetShortPathNameW(path.c_str(), shortened.data(), size);
  if (length == 0 || length >= size) return {};
  shortened.resize(length);
  return shortened;
}

bool IsReparsePoint(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

namespace {

// Deletes the link at `path` itself. It is opened as a reparse point and deleted only when the
// system really opened the link: one that cannot open links as such (Wine opens what a directory
// link points to, and would delete that) leaves both the link and its target as they are.
void RemoveLink(const std::wstring& path) {
  const TevMSI::CFileHandle link(
      CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!link) return;
  FILE_ATTRIBUTE_TAG_INFO opened{};
  if (!GetFileInformationByHandleEx(link.get(), FileAttributeTagInfo, &opened, sizeof(opened)) ||
      (opened.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return;
  }
  FILE_DISPOSITION_INFO remove{TRUE};
  SetFileInformationByHandle(link.get(), FileDispositionInfo, &remove, sizeof(remove));
}

}  // namespace

void RemoveFolderTree(const std::wstring& folder) {
  if (IsReparsePoint(folder)) {
    RemoveLink(folder);
    return;
  }
  WIN32_FIND_DATAW entry{};
  const TevMSI::CFindHandle find(FindFirstFileW(JoinText(folder, L"*.*").c_str(), &entry));
  if (find) {
    do {
      const std::wstring name = entry.cFileName;
      const std::wstring path = JoinText(folder, name);
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        RemoveLink(path);
      } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (name != L"." && name != L"..") RemoveFolderTree(path);
      } else {
        // The work folder is the run's own: a read-only file in it (the backup of a read-only
        // cached file keeps its attributes) goes too.
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
          SetFileAttributesW(path.c_str(), entry.dwFileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
        }
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(find.get(), &entry));
  }
  RemoveDirectoryW(folder.c_str());
}

bool IsStandardKnownFolder(const std::wstring& folder) {
  // Every known folder with a place on disk that an installer run can reach: the user's own, the
  // shared ones, the program and system folders, and the roots above them. Folders Windows has
  // no path for on this machine are skipped.
  static const KNOWNFOLDERID* const kFolders[] = {
      &FOLDERID_AccountPictures,
      &FOLDERID_AdminTools,
      &FOLDERID_AppDataDesktop,
      &FOLDERID_AppDataDocuments,
      &FOLDERID_AppDataFavorites,
      &FOLDERID_AppDataProgramData,
      &FOLDERID_ApplicationShortcuts,
      &FOLDERID_CameraRoll,
      &FOLDERID_CDBurning,
      &FOLDERID_CommonAdminTools,
      &FOLDERID_CommonOEMLinks,
      &FOLDERID_CommonPrograms,
      &FOLDERID_CommonStartMenu,
      &FOLDERID_CommonStartup,
      &FOLDERID_CommonTemplates,
      &FOLDERID_Contacts,
      &FOLDERID_Cookies,
      &FOLDERID_Desktop,
      &FOLDERID_DeviceMetadataStore,
      &FOLDERID_Documents,
      &FOLDERID_DocumentsLibrary,
      &FOLDERID_Downloads,
      &FOLDERID_Favorites,
      &FOLDERID_Fonts,
      &FOLDERID_GameTasks,
      &FOLDERID_History,
      &FOLDERID_ImplicitAppShortcuts,
      &FOLDERID_InternetCache,
      &FOLDERID_Libraries,
      &FOLDERID_Links,
      &FOLDERID_LocalAppData,
      &FOLDERID_LocalAppDataLow,
      &FOLDERID_LocalizedResourcesDir,
      &FOLDERID_Music,
      &FOLDERID_MusicLibrary,
      &FOLDERID_NetHood,
      &FOLDERID_Objects3D,
      &FOLDERID_OriginalImages,
      &FOLDERID_PhotoAlbums,
      &FOLDERID_Pictures,
      &FOLDERID_PicturesLibrary,
      &FOLDERID_Playlists,
      &FOLDERID_PrintHood,
      &FOLDERID_Profile,
      &FOLDERID_ProgramData,
      &FOLDERID_ProgramFiles,
      &FOLDERID_ProgramFilesCommon,
      &FOLDERID_ProgramFilesCommonX64,
      &FOLDERID_ProgramFilesCommonX86,
      &FOLDERID_ProgramFilesX64,
      &FOLDERID_ProgramFilesX86,
      &FOLDERID_Programs,
      &FOLDERID_Public,
      &FOLDERID_PublicDesktop,
      &FOLDERID_PublicDocuments,
      &FOLDERID_PublicDownloads,
      &FOLDERID_PublicGameTasks,
      &FOLDERID_PublicLibraries,
      &FOLDERID_PublicMusic,
      &FOLDERID_PublicPictures,
      &FOLDERID_PublicRingtones,
      &FOLDERID_PublicUserTiles,
      &FOLDERID_PublicVideos,
      &FOLDERID_QuickLaunch,
      &FOLDERID_Recent,
      &FOLDERID_RecordedTVLibrary,
      &FOLDERID_ResourceDir,
      &FOLDERID_Ringtones,
      &FOLDERID_RoamedTileImages,
      &FOLDERID_RoamingAppData,
      &FOLDERID_RoamingTiles,
      &FOLDERID_SampleMusic,
      &FOLDERID_SamplePictures,
      &FOLDERID_SamplePlaylists,
      &FOLDERID_SampleVideos,
      &FOLDERID_SavedGames,
      &FOLDERID_SavedPictures,
      &FOLDERID_SavedSearches,
      &FOLDERID_Screenshots,
      &FOLDERID_SearchHistory,
      &FOLDERID_SearchTemplates,
      &FOLDERID_SendTo,
      &FOLDERID_SidebarDefaultParts,
      &FOLDERID_SidebarParts,
      &FOLDERID_SkyDrive,
      &FOLDERID_SkyDriveCameraRoll,
      &FOLDERID_SkyDriveDocuments,
      &FOLDERID_SkyDriveMusic,
      &FOLDERID_SkyDrivePictures,
      &FOLDERID_StartMenu,
      &FOLDERID_Startup,
      &FOLDERID_System,
      &FOLDERID_SystemX86,
      &FOLDERID_Templates,
      &FOLDERID_UserPinned,
      &FOLDERID_UserProfiles,
      &FOLDERID_UserProgramFiles,
      &FOLDERID_UserProgramFilesCommon,
      &FOLDERID_Videos,
      &FOLDERID_VideosLibrary,
      &FOLDERID_Windows,
  };
  const std::wstring wanted = WithoutTrailingSeparator(folder);
  for (const KNOWNFOLDERID* id : kFolders) {
    PWSTR raw = nullptr;
    const HRESULT found = SHGetKnownFolderPath(*id, KF_FLAG_DONT_VERIFY, nullptr, &raw);
    const TevMSI::CTaskMemory<wchar_t> path(raw);
    if (SUCCEEDED(found) && path && TevMSI::CompareNoCase(WithoutTrailingSeparator(path.get()), wanted) == 0) {
      return true;
    }
  }
  return false;
}

bool IsKnownFolder(IKnownFolderManager* manager, const std::wstring& folder) {
  IKnownFolderManager* own = nullptr;
  if (!manager) {
    if (FAILED(CoCreateInstance(CLSID_KnownFolderManager, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&own)))) {
      own = nullptr;
    }
    manager = own;
  }
  const TevMSI::ComPtr<IKnownFolderManager> owned(own);
  if (!manager) return IsStandardKnownFolder(folder);
  IKnownFolder* raw = nullptr;
  const HRESULT result = manager->FindFolderFromPath(folder.c_str(), FFFP_EXACTMATCH, &raw);
  const TevMSI::ComPtr<IKnownFolder> found(raw);
  if (SUCCEEDED(result) && found) return true;
  if (result == E_NOTIMPL) return KnownFolderByList(manager, folder);
  return false;
}

void RemoveEmptyFolders(IKnownFolderManager* manager, const std::wstring& folder,
                        const std::function<void(const std::wstring&)>& log) {
  std::wstring current = folder;
  // A loop rather than recursion: the walk ends at the first folder that stays.
  while (!current.empty()) {
    if (IsKnownFolder(manager, current)) return;
    std::wstring result;
    if (IsDirectory(current)) {
      result = RemoveDirectoryW(current.c_str()) ? L"Succeeded" : L"Failed";
    } else {
      result = L"Not Exists";
    }
    log(L"Remove( " + current + L" ):" + result);
    if (result == L"Failed") return;
    const std::wstring parent = ParentFolder(current);
    if (parent == current) return;
    current = parent;
  }
}

}  // namespace Tevrian
