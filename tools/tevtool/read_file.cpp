#include "read_file.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace TevTool {

bool ReadWholeFile(const std::string& utf8Path, std::string& bytes, std::string& reason) {
  // A plain string would be read in the ANSI code page on Windows.
  const std::filesystem::path path(std::u8string(utf8Path.begin(), utf8Path.end()));
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (error) {
    reason = error.message();
    return false;
  }
  if (status.type() == std::filesystem::file_type::directory) {
    reason = "it is a folder";
    return false;
  }
  if (status.type() != std::filesystem::file_type::regular) {
    reason = "it is not a regular file (a device, such as NUL, or a pipe)";
    return false;
  }
  errno = 0;
  try {
    std::ifstream file(path, std::ios::binary);
    if (!file.is_open()) {
      reason = errno != 0 ? std::generic_category().message(errno) : "it cannot be opened";
      return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (file.bad()) {
      reason = "reading it failed";
      return false;
    }
    return true;
  } catch (const std::exception& failure) {
    reason = failure.what();
    return false;
  }
}

}  // namespace TevTool
