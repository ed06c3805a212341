// A file entry's "Name" is joined under the cache or the work folder and beside the launcher. Only
// a relative path that stays inside those folders may be used: no parent steps, no root, drive,
// share, device or alternate data stream, nothing Windows would read as another name.
#pragma once

#include <string>

namespace Tevrian {

// Empty when `name` is safe to join under a folder; otherwise what is wrong with it
// ("it climbs out of its folder with \"..\"").
std::wstring UnsafeFileNameReason(const std::wstring& name);

}  // namespace Tevrian
