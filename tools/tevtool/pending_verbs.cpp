// The portable verbs until they are built: they say so rather than report a clean manifest.
#include <cstdio>

#include "verbs.h"

namespace TevTool {

int Lint(const Args&) {
  std::fputs("tevtool lint: not built yet\n", stderr);
  return kUsageOrFileError;
}

int Schema(const Args&) {
  std::fputs("tevtool schema: not built yet\n", stderr);
  return kUsageOrFileError;
}

}  // namespace TevTool
