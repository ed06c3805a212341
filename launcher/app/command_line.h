// The launcher's command line: switches ("/quiet", "-h", "/?") and NAME=value assignments, read
// from the condition language's tokens.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "../conditions/token.h"

namespace Tevrian {

extern const wchar_t kHelpText[];

struct CommandLineSwitches {
  bool help = false;
  bool quiet = false;
  bool noRestart = false;
};

enum class CommandLineWalk {
  Continue,  // go on with the start-up
  Help,      // the help switch was given and no error was met
  Error,     // a malformed assignment; the walk stopped there
};

// Walks the tokens left to right. Switches and assignments land in `switches` and `properties`;
// `onDebug` runs where a debug switch stands, seeing the properties gathered so far. On an error,
// `malformed` (when given) names the property whose assignment is malformed.
CommandLineWalk WalkCommandLine(const Expression::TokenList& tokens, CommandLineSwitches& switches,
                                Expression::PropertyMap& properties, const std::function<void()>& onDebug,
                                std::wstring* malformed = nullptr);

// The argument text of a full command line: what follows the program name.
std::wstring SplitCommandLineArguments(std::wstring_view commandLine);

}  // namespace Tevrian
