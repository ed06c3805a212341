// Whether a file on disk is the one a manifest file entry describes: its "Size", its Windows
// Installer file hash ("Hash", up to four 32-bit words) and its SHA-256 digest ("Sha256").
#pragma once

#include <cstdint>
#include <string>

#include "../json/json_value.h"
#include "../shared/log_sink.h"

namespace Tevrian {

// The verification failure: size or contents differ from the file entry.
inline constexpr std::uint32_t kErrorFileDiffers = 15605;

// 0 when the file passes; otherwise the system error of reading it, 15605, or the hash call's
// error, each with its log line; a content mismatch logs a second line with the expected and the
// actual values. "Sha256" is checked last, whenever present; otherwise an entry without "Size"
// passes unchecked. A file of 2^31 bytes or more fails. A "Hash" of more than four words describes
// no file hash and never matches. A "Size", "Hash" or "Sha256" of the wrong kind (a "Sha256" that
// is not 64 hexadecimal digits) raises JSON::BadAnyCast naming the member.
std::uint32_t VerifyFile(const std::wstring& path, const JSON::JsonObject& fileEntry, const LogSink& log);

}  // namespace Tevrian
