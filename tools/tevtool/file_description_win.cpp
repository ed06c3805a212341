#include "file_description.h"

#include <windows.h>

#include <msi.h>

#include "../../launcher/installer/msi_api.h"
#include "../../launcher/packages/file_sha256.h"
#include "json_document.h"

namespace TevTool {
bool DescribeFile(const std::wstring& path, FileDescription& description, std::string& reason) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    reason = "no such file";
    return false;
  }
  const std::uint64_t size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  if (size > 0x7FFFFFFF) {
    reason = std::to_string(size) + " bytes: a \"Size\" holds at most 2147483647";
    return false;
  }
  MSIFILEHASHINFO hash{};
  hash.dwFileHashInfoSize = sizeof(hash);
  const auto getFileHash = TevMSI::Msi().GetFileHash;
  const UINT rc = getFileHash ? getFileHash(path.c_str(), 0, &hash) : ERROR_PROC_NOT_FOUND;
  if (rc != ERROR_SUCCESS) {
    reason = "MsiGetFileHash failed with " + std::to_string(rc);
    return false;
  }
  description.size = static_cast<std::uint32_t>(size);
  // Signed 32-bit words: the manifest's integers are, and the launcher compares them bit for bit.
  for (std::size_t i = 0; i < 4; ++i) description.hash[i] = static_cast<std::int32_t>(hash.dwData[i]);
  std::uint32_t error = 0;
  if (!Tevrian::FileSha256(path, description.sha256, error)) {
    reason = "the SHA-256 digest failed with " + std::to_string(error);
    return false;
  }
  return true;
}

std::string HashJson(const FileDescription& description) {
  return "[" + std::to_string(description.hash[0]) + ", " + std::to_string(description.hash[1]) + ", " +
         std::to_string(description.hash[2]) + ", " + std::to_string(description.hash[3]) + "]";
}

std::string Sha256Json(const FileDescription& description) {
  return "\"" + Tevrian::Sha256Text(description.sha256) + "\"";
}

std::string FileEntryJson(const std::string& name, const FileDescription& description) {
  return "{\"Name\": " + JsonNode::String(name).Dump() + ", \"Size\": " + std::to_string(description.size) +
         ", \"Hash\": " + HashJson(description) + ", \"Sha256\": " + Sha256Json(description) + "}";
}

}  // namespace TevTool
