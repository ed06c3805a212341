// tevtool lint MANIFEST [--werror]: the manifest's findings on stderr as FILE:LINE:COLUMN.
#include <cstdio>
#include <string>

#include "findings_report.h"
#include "manifest_lint.h"
#include "message_text.h"
#include "read_file.h"
#include "verbs.h"

namespace TevTool {
namespace {

constexpr char kHelp[] =
    "usage: tevtool lint MANIFEST [--werror]\n"
    "Reads MANIFEST as the launcher reads it and reports, as FILE:LINE:COLUMN: error|warning: text,\n"
    "what the launcher would refuse (errors) and what it would silently read otherwise than written\n"
    "(warnings). Exit code: 0 clean, 1 errors (or, with --werror, warnings too), 2 usage or file errors.\n";

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
  std::string text, reason;
  if (!ReadWholeFile(path, text, reason)) {
    std::fprintf(stderr, "tevtool lint: cannot read %s: %s\n", Quoted(path).c_str(), reason.c_str());
    return kUsageOrFileError;
  }
  const FindingCounts counts = ReportFindings(path, text, LintManifest(text));
  const bool failing = counts.errors > 0 || (werror && counts.warnings > 0);
  return failing ? kFindings : kClean;
}

}  // namespace TevTool
