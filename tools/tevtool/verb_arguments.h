// A verb's arguments split the one way every verb reads them: "--help", one option that takes a
// value, and the positional words in order.
#pragma once

#include <string>
#include <vector>

#include "verbs.h"

namespace TevTool {

struct VerbArguments {
  bool help = false;
  std::string option;  // the value after `optionName`; empty when not given
  std::vector<std::string> words;
};

inline VerbArguments SplitArguments(const Args& args, const std::string& optionName) {
  VerbArguments split;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--help" || args[i] == "-h") {
      split.help = true;
    } else if (args[i] == optionName && i + 1 < args.size()) {
      split.option = args[++i];
    } else {
      split.words.push_back(args[i]);
    }
  }
  return split;
}

}  // namespace TevTool
