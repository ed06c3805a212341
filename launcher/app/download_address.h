// What the launcher reads from the addresses a manifest names for a newer manifest and for
// another launcher, before anything is fetched.
#pragma once

#include <string>
#include <string_view>

namespace Tevrian {

// Whether `address` starts with the scheme "https://" (in any letter case). A newer manifest
// decides which programs run and which hashes they are checked against, so it is fetched only
// over a connection that proves its server.
bool IsHttpsAddress(std::wstring_view address);

// The last element of the address's path, without query or fragment: "https://h/a/b.exe?x=1"
// gives "b.exe". Empty when the path ends with a separator or the address has no path at all.
std::wstring LastPathElement(std::wstring_view address);

}  // namespace Tevrian
