// What a file entry says of a real file: its size, the four words of the Windows Installer file
// hash and its SHA-256 digest, exactly as the launcher compares them.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "../../launcher/shared/sha256_text.h"

namespace TevTool {

struct FileDescription {
  std::uint32_t size = 0;
  std::array<std::int32_t, 4> hash{};
  Tevrian::Sha256Digest sha256{};
};

// False with the reason (no such file, 2^31 bytes or more, the hash failed).
bool DescribeFile(const std::wstring& path, FileDescription& description, std::string& reason);

// "{"Name": ..., "Size": ..., "Hash": [...], "Sha256": "..."}" with `name` as a JSON string.
std::string FileEntryJson(const std::string& name, const FileDescription& description);
// "[w0, w1, w2, w3]".
std::string HashJson(const FileDescription& description);
// The digest as a JSON string of 64 lower-case hexadecimal digits.
std::string Sha256Json(const FileDescription& description);

}  // namespace TevTool
