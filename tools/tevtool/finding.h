// One finding of the lint: where, how bad, and what is wrong in words the author can act on.
#pragma once

#include <cstdint>
#include <string>

namespace TevTool {

enum class Severity { Error, Warning };

struct Finding {
  std::uint32_t offset = 0;  // byte offset in the manifest's text
  Severity severity = Severity::Error;
  std::string text;  // UTF-8
};

}  // namespace TevTool
