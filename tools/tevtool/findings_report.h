// Findings as editors and build logs read them: FILE:LINE:COLUMN: error|warning: text, on stderr.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "finding.h"

namespace TevTool {

struct FindingCounts {
  int errors = 0;
  int warnings = 0;
};

// Prints `findings` of `text` (read from `path`); warnings only unless `errorsOnly`.
FindingCounts ReportFindings(const std::string& path, std::string_view text, const std::vector<Finding>& findings,
                             bool errorsOnly = false);

}  // namespace TevTool
