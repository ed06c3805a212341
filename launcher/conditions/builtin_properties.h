// What the built-in properties ask of Windows.
#pragma once

#include <cstdint>

namespace Tevrian::Expression {

// The elevation prompt (EnableLUA) is on, on Windows 6.0 or later.
bool IsUacEnabled();
// The caller's token holds the local Administrators group. Worked out once per process.
bool IsAdministratorsMember();
// The Windows Installer library's major and minor version; false when it cannot be asked.
bool GetMsiVersion(std::uint32_t& major, std::uint32_t& minor);
bool IsWindowsVersionOrGreater(std::uint16_t major, std::uint16_t minor, std::uint16_t servicePackMajor);
// A 32-bit process on 64-bit Windows. Worked out once per process.
bool IsWow64();

}  // namespace Tevrian::Expression
