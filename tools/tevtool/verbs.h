// The verbs of tevtool, one file each. Arguments come as UTF-8 (converted from the wide command
// line on Windows); each verb prints its own --help and returns the process exit code: 0 clean,
// 1 findings of the requested severity (or a refused input), 2 usage or file errors.
#pragma once

#include <string>
#include <vector>

namespace TevTool {

using Args = std::vector<std::string>;

constexpr int kClean = 0;
constexpr int kFindings = 1;
constexpr int kUsageOrFileError = 2;

// Portable: they build natively too.
int Lint(const Args& args);
int Schema(const Args& args);

// Windows only: they read and write launchers and use the platform's file hash.
int Hash(const Args& args);
int Fill(const Args& args);
int Layout(const Args& args);
int Stamp(const Args& args);

}  // namespace TevTool
