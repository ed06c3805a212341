// Whether a file is a Windows executable that `stamp` may change: every structure it reads or
// rewrites lies within the file. A launcher from elsewhere may be anything (cut short, with a
// resource tree that loops or claims more entries than it holds, a signature entry pointing into
// code), and the system's resource functions trust what they are given; so the image is walked
// here first, bounded, from bytes alone. Portable, so that it is fuzzed natively.
#pragma once

#include <string>
#include <string_view>

namespace TevTool {

// Empty when the image is sound; otherwise what is wrong, naming the structure and its offsets.
std::string PeImageProblem(std::string_view image);

}  // namespace TevTool
