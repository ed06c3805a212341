// The SHA-256 digest of a file, computed with the system's CNG hash functions over large blocks.
#pragma once

#include <cstdint>
#include <string>

#include "../shared/sha256_text.h"

namespace Tevrian {

// False with the error: the system error of reading the file, or the CNG status (an NTSTATUS)
// when the hash could not be made.
bool FileSha256(const std::wstring& path, Sha256Digest& digest, std::uint32_t& error);

}  // namespace Tevrian
