// The version order the installer's reinstall detection uses: numbers read one after another,
// whatever separates them, so "2.0" is older than "2.0.1" and "1.10" newer than "1.9".
#pragma once

#include <string_view>

namespace Tevrian {

// Negative when `installed` is older than `package`, 0 when equal, positive when newer.
int CompareInstalledVersion(std::wstring_view installed, std::wstring_view package);

}  // namespace Tevrian
