// The checks of one condition text, made with the launcher's own tokenizer and parser: what the
// launcher refuses, and what it silently reads otherwise than written.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "finding.h"

namespace TevTool {

struct ConditionFindings {
  std::vector<Finding> findings;    // offsets left 0: the caller places them
  std::vector<std::wstring> names;  // the property names the condition reads
};

ConditionFindings LintCondition(std::wstring_view condition);

}  // namespace TevTool
