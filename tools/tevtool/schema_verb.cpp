// tevtool schema: the manifest's JSON Schema on stdout (docs/manifest.schema.json is its output).
#include <cstdio>

#include "json_schema.h"
#include "verbs.h"

namespace TevTool {

int Schema(const Args& args) {
  constexpr char kHelp[] =
      "usage: tevtool schema\n"
      "Prints the JSON Schema (draft 2020-12) of the launch manifest, made from the member table the\n"
      "lint uses. Exit code: 0, or 2 for a usage error.\n";
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      std::fputs(kHelp, stdout);
      return kClean;
    }
    std::fprintf(stderr, "tevtool schema: unexpected argument \"%s\"\n%s", arg.c_str(), kHelp);
    return kUsageOrFileError;
  }
  const std::string schema = ManifestSchema();
  std::fwrite(schema.data(), 1, schema.size(), stdout);
  return kClean;
}

}  // namespace TevTool
