#include "manifest_text.h"

#include <exception>
#include <string>

#include "json/json_parser.h"
#include "shared/text_template.h"

namespace Tevrian {

JSON::JsonValue ParseManifestText(std::string_view text, std::wstring_view what) {
  // The reader refuses containers past its bound as it refuses a syntax error; say which it was.
  if (JSON::NestingDepth(text) > JSON::kMaxNestingDepth) {
    throw JSON::BadAnyCast(FormatText(L"{0} is nested deeper than {1} levels", what, JSON::kMaxNestingDepth));
  }
  try {
    return JSON::ParseJSON(text);
  } catch (const std::exception&) {
    throw JSON::BadAnyCast(std::wstring(what) + L" is not complete JSON");
  }
}

}  // namespace Tevrian
