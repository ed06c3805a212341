// Fuzzes TevTool::LintManifest over whole manifests; the bytes are the manifest's text as the lint
// takes it. Besides what the sanitizers find, it checks what the lint's callers rely on: nothing
// leaves it; every finding lies inside the text (the end included), the findings come in the order
// of their offsets, and each has a text in valid UTF-8; and the lint's own check always answers,
// never its catch-all that reports an internal exception as the manifest's problem.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "manifest_lint.h"
#include "wide_input.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "manifest_lint_fuzzer: %s\n", what);
  std::abort();
}

bool IsUtf8(std::string_view text) {
  const auto* data = reinterpret_cast<const std::uint8_t*>(text.data());
  std::size_t i = 0;
  while (i < text.size()) {
    const TevFuzz::Utf8Sequence sequence = TevFuzz::ReadUtf8Sequence(data, text.size(), i);
    if (sequence.length == 0) return false;
    const std::uint32_t code = sequence.code;
    const std::uint32_t least = sequence.length == 1   ? 0
                                : sequence.length == 2 ? 0x80
                                : sequence.length == 3 ? 0x800
                                                       : 0x10000;
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += sequence.length;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<TevTool::Finding> findings;
  try {
    findings = TevTool::LintManifest(text);
  } catch (...) {
    Fail("the lint raised");
  }
  constexpr std::string_view kCatchAll = "the manifest could not be checked: ";
  for (std::size_t i = 0; i < findings.size(); ++i) {
    const TevTool::Finding& finding = findings[i];
    if (finding.offset > size) Fail("a finding outside the text");
    if (i > 0 && finding.offset < findings[i - 1].offset) Fail("findings out of order");
    if (finding.text.empty()) Fail("a finding without a text");
    if (!IsUtf8(finding.text)) Fail("a finding's text is not UTF-8");
    if (finding.text.starts_with(kCatchAll)) {
      std::fprintf(stderr, "%s\n", finding.text.c_str());
      Fail("the lint's check raised");
    }
  }
  return 0;
}
