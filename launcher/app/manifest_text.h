// The text of a launch manifest, embedded or fetched as a newer one, read into a tree. What the
// reader makes of text that is no document is said in terms a release engineer can act on.
#pragma once

#include <string_view>

#include "json/json_value.h"

namespace Tevrian {

// The document `text` holds; raises JSON::BadAnyCast naming `what` ("the manifest", "the newer
// manifest") when its containers nest past the reader's bound or it is not complete JSON.
JSON::JsonValue ParseManifestText(std::string_view text, std::wstring_view what);

}  // namespace Tevrian
