// The few fields of a Windows executable's headers that the signature check needs, read from any
// byte source: a file on disk may be anything, so every offset is checked before it is followed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace Tevrian {

// Fills `out` with `size` bytes from `offset`; false when the source is shorter or unreadable.
using ReadAt = std::function<bool(std::uint64_t offset, void* out, std::size_t size)>;

// Where a PE image's headers point to its certificate table (an Authenticode signature, valid or
// not): the file offset of the directory entry, and the table's own offset and size.
struct CertificateTable {
  std::uint64_t entryOffset;
  std::uint32_t offset;
  std::uint32_t size;
};

// The certificate table of the PE image (32- or 64-bit) the source holds; none for an image
// without one, and for anything that is not such an image.
std::optional<CertificateTable> FindCertificateTable(const ReadAt& read);
inline bool HasCertificateTable(const ReadAt& read) { return FindCertificateTable(read).has_value(); }

// Takes the certificate table out of the image held in `image`: its directory entry is cleared and
// the table cut off the end of the file (or, should anything follow it, overwritten with zeros).
// False when the image has none. What remains is the unsigned image a signature was made over,
// ready to be changed and signed again.
bool RemoveCertificateTable(std::string& image);

}  // namespace Tevrian
