// tevtool: the release engineers' tool. `tevtool VERB [ARGUMENTS...]`; `tevtool --help` lists the
// verbs, `tevtool VERB --help` explains one.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "verbs.h"

#ifdef _WIN32
#include "text_utf8.h"
#endif

namespace {

struct Verb {
  const char* name;
  const char* summary;
  int (*run)(const TevTool::Args&);
};

constexpr Verb kVerbs[] = {
    {"lint", "check a manifest as the launcher reads it", TevTool::Lint},
    {"schema", "print the manifest's JSON Schema", TevTool::Schema},
#ifdef _WIN32
    {"hash", "print a file entry (Name, Size, Hash, Sha256) for each file", TevTool::Hash},
    {"fill", "set every file entry's Size, Hash and Sha256 from the real files", TevTool::Fill},
    {"layout", "make an offline layout: the launcher and every package file beside it", TevTool::Layout},
    {"stamp", "put a manifest into a copy of a launcher", TevTool::Stamp},
#endif
};

int Usage(FILE* out, int code) {
  std::fputs("usage: tevtool VERB [ARGUMENTS...]   (tevtool VERB --help for one verb)\n", out);
  for (const Verb& verb : kVerbs) std::fprintf(out, "  %-8s %s\n", verb.name, verb.summary);
  return code;
}

int Run(const std::vector<std::string>& words) {
  if (words.empty()) return Usage(stderr, TevTool::kUsageOrFileError);
  if (words[0] == "--help" || words[0] == "-h") return Usage(stdout, TevTool::kClean);
  for (const Verb& verb : kVerbs) {
    if (words[0] == verb.name) return verb.run(TevTool::Args(words.begin() + 1, words.end()));
  }
  std::fprintf(stderr, "tevtool: unknown verb \"%s\"\n", words[0].c_str());
  return Usage(stderr, TevTool::kUsageOrFileError);
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) words.push_back(TevTool::Utf8(argv[i]));
  return Run(words);
}
#else
int main(int argc, char** argv) { return Run(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
