// What a failed platform call means as a download result: one mapping for every WinHTTP failure.
#pragma once

#include <cstdint>

namespace Tevrian {

// The Win32 result form of `error` (0x80070000 with its low 16 bits). A call that failed without
// saying why must not read as success, so 0 becomes E_FAIL; a value that already is a result
// code (negative) is kept.
std::int32_t ResultFromLastError(std::uint32_t error);

// The number a failure message shows of a result: its low 16 bits (an HTTP status, a Win32 error).
inline std::uint32_t ShownCode(std::int32_t result) { return static_cast<std::uint32_t>(result) & 0xFFFFu; }

}  // namespace Tevrian
