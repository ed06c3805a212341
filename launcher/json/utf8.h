// UTF-8 to UTF-16 through the platform's conversion, kept apart so that the reader stays portable.
#pragma once

#include <string>
#include <string_view>

namespace Tevrian::JSON {

// Appends `bytes` to `out` as UTF-16 code units, one per wchar_t. Never fails: each malformed
// sequence becomes U+FFFD. Never appends more units than there are bytes.
void AppendUtf8AsUtf16(std::wstring& out, std::string_view bytes);

}  // namespace Tevrian::JSON
