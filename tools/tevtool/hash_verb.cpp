// tevtool hash FILE...: a file entry for each file, with the size and the four words of the
// Windows Installer file hash exactly as the launcher compares them.
#include <windows.h>

#include <msi.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "../../launcher/installer/msi_api.h"
#include "utf8_args.h"
#include "verbs.h"

namespace TevTool {
namespace {

constexpr char kHelp[] =
    "usage: tevtool hash FILE...\n"
    "Prints for each FILE one line: a JSON file entry {\"Name\": ..., \"Size\": ..., \"Hash\": [4 words]}.\n"
    "A file of 2^31 bytes or more cannot be described (\"Size\" is a 32-bit integer): exit code 2.\n";

std::string JsonString(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof(escaped), "\\u%04x", static_cast<unsigned char>(c));
      quoted += escaped;
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

int Describe(const std::string& path) {
  const std::wstring wide = Wide(path);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    std::fprintf(stderr, "%s: error: no such file\n", path.c_str());
    return kUsageOrFileError;
  }
  const std::uint64_t size = (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  if (size > 0x7FFFFFFF) {
    std::fprintf(stderr, "%s: error: %llu bytes: a \"Size\" holds at most 2147483647\n", path.c_str(),
                 static_cast<unsigned long long>(size));
    return kUsageOrFileError;
  }
  MSIFILEHASHINFO hash{};
  hash.dwFileHashInfoSize = sizeof(hash);
  const auto getFileHash = TevMSI::Msi().GetFileHash;
  const UINT rc = getFileHash ? getFileHash(wide.c_str(), 0, &hash) : ERROR_PROC_NOT_FOUND;
  if (rc != ERROR_SUCCESS) {
    std::fprintf(stderr, "%s: error: MsiGetFileHash failed with %u\n", path.c_str(), rc);
    return kUsageOrFileError;
  }
  const std::wstring name =
      wide.substr(wide.find_last_of(L"\\/") == std::wstring::npos ? 0 : wide.find_last_of(L"\\/") + 1);
  // The words as signed 32-bit integers: the manifest's integers are, and the launcher compares
  // them bit for bit.
  std::printf("{\"Name\": %s, \"Size\": %llu, \"Hash\": [%d, %d, %d, %d]}\n", JsonString(Utf8(name)).c_str(),
              static_cast<unsigned long long>(size), static_cast<int>(hash.dwData[0]), static_cast<int>(hash.dwData[1]),
              static_cast<int>(hash.dwData[2]), static_cast<int>(hash.dwData[3]));
  return kClean;
}

}  // namespace

int Hash(const Args& args) {
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(kHelp, stdout);
    return kClean;
  }
  if (args.empty()) {
    std::fputs(kHelp, stderr);
    return kUsageOrFileError;
  }
  int result = kClean;
  for (const std::string& path : args) {
    if (Describe(path) != kClean) result = kUsageOrFileError;
  }
  return result;
}

}  // namespace TevTool
