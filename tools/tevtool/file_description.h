// What a file entry says of a real file: its size and the four words of the Windows Installer file
// hash, exactly as the launcher compares them.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace TevTool {

struct FileDescription {
  std::uint32_t size = 0;
  std::array<std::int32_t, 4> hash{};
};

// False with the reason (no such file, 2^31 bytes or more, the hash failed).
bool DescribeFile(const std::wstring& path, FileDescription& description, std::string& reason);

// "{"Name": ..., "Size": ..., "Hash": [...]}" with `name` as a JSON string.
std::string FileEntryJson(const std::string& name, const FileDescription& description);
// "[w0, w1, w2, w3]".
std::string HashJson(const FileDescription& description);

}  // namespace TevTool
