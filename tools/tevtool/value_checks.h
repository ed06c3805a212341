// The checks of one string or number value by what the member table says it means: addresses,
// file names, versions, the texts of a closed set, and numbers the launcher reads otherwise.
// Conditions and bracketed references need the whole manifest and are checked by the lint itself.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "finding.h"
#include "manifest_members.h"

namespace TevTool {

struct ValueFinding {
  Severity severity;
  std::string text;
};

// `name` is the member's name as the messages show it.
std::vector<ValueFinding> CheckString(std::wstring_view text, const TypeInfo& type, std::string_view name);
// `raw` is the number token as written.
std::vector<ValueFinding> CheckNumber(std::string_view raw, const TypeInfo& type, std::string_view name);

}  // namespace TevTool
