// The JSON Schema (draft 2020-12) of the manifest, made from the member table, so that editors
// offer the members the launcher reads and flag what it would refuse or ignore.
#pragma once

#include <string>

namespace TevTool {

// The schema's text, formatted with two-space indentation and a final line break.
std::string ManifestSchema();

}  // namespace TevTool
