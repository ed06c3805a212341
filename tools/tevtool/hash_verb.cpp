// tevtool hash FILE...: a file entry for each file, with the size, the four words of the Windows
// Installer file hash and the SHA-256 digest, exactly as the launcher compares them.
#include <cstdio>
#include <string>

#include "file_description.h"
#include "utf8_args.h"
#include "verbs.h"

namespace TevTool {
namespace {

constexpr char kHelp[] =
    "usage: tevtool hash FILE...\n"
    "Prints for each FILE one line: a JSON file entry\n"
    "{\"Name\": ..., \"Size\": ..., \"Hash\": [4 words], \"Sha256\": \"64 hexadecimal digits\"}.\n"
    "A file of 2^31 bytes or more cannot be described (\"Size\" is a 32-bit integer): exit code 2.\n";

int Describe(const std::string& path) {
  const std::wstring wide = Wide(path);
  FileDescription description;
  std::string reason;
  if (!DescribeFile(wide, description, reason)) {
    std::fprintf(stderr, "%s: error: %s\n", path.c_str(), reason.c_str());
    return kUsageOrFileError;
  }
  const std::size_t slash = wide.find_last_of(L"\\/");
  std::printf("%s\n",
              FileEntryJson(Utf8(slash == std::wstring::npos ? wide : wide.substr(slash + 1)), description).c_str());
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
