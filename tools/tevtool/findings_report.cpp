#include "findings_report.h"

#include <cstdio>

#include "source_position.h"

namespace TevTool {

FindingCounts ReportFindings(const std::string& path, std::string_view text, const std::vector<Finding>& findings,
                             bool errorsOnly) {
  const SourcePositions positions(text);
  FindingCounts counts;
  for (const Finding& finding : findings) {
    const bool error = finding.severity == Severity::Error;
    (error ? counts.errors : counts.warnings) += 1;
    if (!error && errorsOnly) continue;
    const LineColumn where = positions.At(finding.offset);
    std::fprintf(stderr, "%s:%u:%u: %s: %s\n", path.c_str(), where.line, where.column, error ? "error" : "warning",
                 finding.text.c_str());
  }
  return counts;
}

}  // namespace TevTool
