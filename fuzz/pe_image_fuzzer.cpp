// Fuzzes TevTool::PeImageProblem, the check stamp makes of a launcher before the system's resource
// functions see it, over whole images. Besides what the sanitizers find (a read past the bytes it
// was given), it checks what stamp relies on: the answer is the same for the same bytes, and an
// image it refuses is refused with a reason.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "pe_image_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A copy of exactly `size` bytes, so that any read past the image's end is the sanitizer's to see.
  const std::string image(reinterpret_cast<const char*>(data), size);
  const std::string first = TevTool::PeImageProblem(image);
  if (first != TevTool::PeImageProblem(image)) {
    std::fprintf(stderr, "pe_image_fuzzer: two answers for one image\n");
    std::abort();
  }
  if (size < 2 && first.empty()) {
    std::fprintf(stderr, "pe_image_fuzzer: an image of %zu bytes passed\n", size);
    std::abort();
  }
  return 0;
}
