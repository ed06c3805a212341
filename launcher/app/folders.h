// Folder helpers of the cleanup: path parts, existence, and removal that never touches a folder
// Windows counts as a known folder.
#pragma once

#include <windows.h>

#include <shobjidl.h>

#include <functional>
#include <string>

namespace Tevrian {

// The folder part of a path: C:\a\b.txt gives C:\a, C:\b.txt gives C:\, C:\ stays C:\. Raises
// TevMSI::CMsiException(87) for a path holding a control character or one of " < > |.
std::wstring ParentFolder(const std::wstring& path);

bool IsDirectory(const std::wstring& path);

// The short (8.3) form of an existing path; empty when the system gives none.
std::wstring ShortPathName(const std::wstring& path);

// Whether `path` is a reparse point: a junction, a symbolic link, or another link of the system's.
bool IsReparsePoint(const std::wstring& path);

// Deletes the folder with everything in it; failures are skipped silently. A link (any reparse
// point), the folder itself or one met inside it, is removed itself, never followed: what it
// points to is left untouched.
void RemoveFolderTree(const std::wstring& folder);

// Whether `folder` is exactly one of Windows' known folders. Asks the known-folder manager;
// where it cannot answer (FindFolderFromPath is not implemented everywhere), compares with the
// paths of every known folder it can list. Without a manager, or without its list, the fixed list
// below answers.
bool IsKnownFolder(IKnownFolderManager* manager, const std::wstring& folder);

// The answer without a known-folder manager (none could be created): whether `folder` is
// exactly one of the known folders an installer run can reach, named one by one.
bool IsStandardKnownFolder(const std::wstring& folder);

// Removes the folder if it is empty and not a known folder, then its parent, and so on upwards,
// logging "Remove( folder ):result" for each attempt.
void RemoveEmptyFolders(IKnownFolderManager* manager, const std::wstring& folder,
                        const std::function<void(const std::wstring&)>& log);

}  // namespace Tevrian
