// The few fields of a Windows executable's headers that the signature check needs, read from any
// byte source: a file on disk may be anything, so every offset is checked before it is followed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace Tevrian {

// Fills `out` with `size` bytes from `offset`; false when the source is shorter or unreadable.
using ReadAt = std::function<bool(std::uint64_t offset, void* out, std::size_t size)>;

// Whether the source holds a PE image (32- or 64-bit) whose headers point to a certificate table
// (an Authenticode signature, valid or not). False for anything that is not such an image.
bool HasCertificateTable(const ReadAt& read);

}  // namespace Tevrian
