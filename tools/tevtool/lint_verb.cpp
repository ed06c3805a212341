// tevtool lint MANIFEST [--werror]: the manifest's findings on stderr as FILE:LINE:COLUMN.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "findings_report.h"
#include "manifest_lint.h"
#include "verbs.h"

namespace TevTool {
namespace {

constexpr char kHelp[] =
    "usage: tevtool lint MANIFEST [--werror]\n"
    "Reads MANIFEST as the launcher reads it and reports, as FILE:LINE:COLUMN: error|warning: text,\n"
    "what the launcher would refuse (errors) and what it would silently read otherwise than written\n"
    "(warnings). Exit code: 0 clean, 1 errors (or, with --werror, warnings too), 2 usage or file errors.\n";

// False for anything but a readable regular file (a folder, a device, an unreadable file).
bool ReadWholeFile(const std::string& utf8Path, std::string& text) {
  // The argument is UTF-8 on every platform; a plain string would be read in the ANSI code page
  // on Windows.
  const std::filesystem::path path(std::u8string(utf8Path.begin(), utf8Path.end()));
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return false;
  try {
    std::ifstream file(path, std::ios::binary);
    if (!file.is_open()) return false;
    text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

int Lint(const Args& args) {
  std::string path;
  bool werror = false;
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      std::fputs(kHelp, stdout);
      return kClean;
    }
    if (arg == "--werror") {
      werror = true;
    } else if (arg.starts_with("--") || !path.empty()) {
      std::fprintf(stderr, "tevtool lint: unexpected argument \"%s\"\n%s", arg.c_str(), kHelp);
      return kUsageOrFileError;
    } else {
      path = arg;
    }
  }
  if (path.empty()) {
    std::fputs(kHelp, stderr);
    return kUsageOrFileError;
  }
  std::string text;
  if (!ReadWholeFile(path, text)) {
    std::fprintf(stderr, "tevtool lint: cannot read \"%s\"\n", path.c_str());
    return kUsageOrFileError;
  }
  const FindingCounts counts = ReportFindings(path, text, LintManifest(text));
  const bool failing = counts.errors > 0 || (werror && counts.warnings > 0);
  return failing ? kFindings : kClean;
}

}  // namespace TevTool
