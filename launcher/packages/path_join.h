// Paths built from the manifest's names, within the platform's 260-unit limit.
#pragma once

#include <string>

namespace Tevrian {

// `folder` joined with `name` (PathCombineW). A result beyond the limit raises
// TevMSI::CMsiException 206 (ERROR_FILENAME_EXCED_RANGE) naming both, rather than giving a path
// that names some other file.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);

// The folder part of `path` (everything before its last separator).
std::wstring FolderOf(const std::wstring& path);

}  // namespace Tevrian
