// Fuzzes ParseJSON and the event parser beneath it. Besides what the sanitizers find, it checks what
// callers rely on: only the documented exceptions leave ParseJSON, every notification is a view into
// the text, containers open and close in order within the nesting bound, and every number token is
// exactly what strtod reads there.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "json_parser.h"

namespace {

using namespace Tevrian::JSON;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "json_parse_fuzzer: %s\n", what);
  std::abort();
}

bool Inside(std::string_view text, std::string_view view) {
  return view.data() >= text.data() && view.data() + view.size() <= text.data() + text.size();
}

// Longer runs of text after a token cannot change what strtod makes of it within this reach.
constexpr std::size_t kStrtodLookahead = 256;

void CheckNumberToken(std::string_view text, std::string_view token) {
  if (!Inside(text, token)) Fail("number token outside the text");
  const std::size_t start = static_cast<std::size_t>(token.data() - text.data());
  const std::string terminated(text.substr(start, token.size() + kStrtodLookahead));
  char* end = nullptr;
  std::strtod(terminated.c_str(), &end);
  if (static_cast<std::size_t>(end - terminated.c_str()) != token.size()) Fail("number token differs from strtod");
}

void CheckEvents(std::string_view text) {
  std::vector<NotificationId> open;
  bool begun = false, ended = false;
  ParseDocument(text, [&](NotificationId id, std::string_view view) {
    if (ended) Fail("notification after EndDocument");
    if (!begun && id != NotificationId::BeginDocument) Fail("first notification is not BeginDocument");
    if (!view.empty() && !Inside(text, view)) Fail("view outside the text");
    switch (id) {
      case NotificationId::BeginDocument:
        if (begun) Fail("second BeginDocument");
        begun = true;
        break;
      case NotificationId::EndDocument:
        if (view.size() > text.size() || text.substr(text.size() - view.size()) != view) Fail("rest is no suffix");
        ended = true;
        break;
      case NotificationId::BeginObject:
      case NotificationId::BeginArray:
        open.push_back(id);
        if (open.size() > kMaxNestingDepth) Fail("nesting beyond the bound");
        break;
      case NotificationId::EndObject:
      case NotificationId::EndArray: {
        const NotificationId opener =
            id == NotificationId::EndObject ? NotificationId::BeginObject : NotificationId::BeginArray;
        if (open.empty() || open.back() != opener) Fail("container closed out of order");
        open.pop_back();
        break;
      }
      case NotificationId::Number:
        if (view.data() != nullptr) CheckNumberToken(text, view);
        break;
      default:
        break;
    }
    return true;
  });
  if (!ended) Fail("no EndDocument");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const JsonValue value = ParseJSON(text);
    const JsonValue copy = value;  // copies and destroys the whole tree once more
  } catch (const BadAnyCast&) {
  } catch (const std::out_of_range& e) {
    if (std::strcmp(e.what(), "invalid string_view position") != 0) Fail("out_of_range with another message");
  }
  try {
    CheckEvents(text);
  } catch (const std::out_of_range&) {
    // Documented above; the walk ends there.
  }
  return 0;
}
