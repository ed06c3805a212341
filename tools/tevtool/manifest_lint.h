// The lint of a launch manifest: everything the launcher would refuse (errors) and everything it
// would silently read otherwise than its author meant (warnings), each at the member concerned.
#pragma once

#include <string_view>
#include <vector>

#include "finding.h"

namespace TevTool {

// Findings in the order of their positions. Never raises for any text.
std::vector<Finding> LintManifest(std::string_view text);

}  // namespace TevTool
