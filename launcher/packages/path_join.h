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

// `folder` and `name` with one separator between them, the text kept as it is (no length limit, no
// ".." resolved): for names the system itself listed, or that were checked before.
inline std::wstring JoinText(std::wstring folder, const std::wstring& name) {
  if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
  return folder + name;
}

}  // namespace Tevrian
