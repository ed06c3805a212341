#include "pe_headers.h"

#include <algorithm>

namespace Tevrian {
namespace {

constexpr std::uint64_t kNewHeaderOffsetAt = 0x3C;
constexpr std::uint32_t kFileHeaderSize = 20;
constexpr std::uint32_t kOptionalHeaderSizeAt = 16;  // within the file header
constexpr std::uint16_t kMagicPe32 = 0x10B;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;
constexpr std::uint32_t kSecurityDirectory = 4;
constexpr std::uint32_t kDirectoryEntrySize = 8;

bool ReadUint(const ReadAt& read, std::uint64_t offset, std::size_t size, std::uint32_t& value) {
  unsigned char bytes[4] = {};
  if (!read(offset, bytes, size)) return false;
  value = 0;
  for (std::size_t i = size; i > 0; --i) value = (value << 8) | bytes[i - 1];
  return true;
}

}  // namespace

std::optional<CertificateTable> FindCertificateTable(const ReadAt& read) {
  std::uint32_t magic = 0;
  if (!ReadUint(read, 0, 2, magic) || magic != 0x5A4D) return std::nullopt;  // "MZ"
  std::uint32_t peOffset = 0;
  if (!ReadUint(read, kNewHeaderOffsetAt, 4, peOffset)) return std::nullopt;
  std::uint32_t signature = 0;
  if (!ReadUint(read, peOffset, 4, signature) || signature != 0x00004550) return std::nullopt;  // "PE\0\0"
  const std::uint64_t fileHeader = std::uint64_t{peOffset} + 4;
  std::uint32_t optionalSize = 0;
  if (!ReadUint(read, fileHeader + kOptionalHeaderSizeAt, 2, optionalSize)) return std::nullopt;
  const std::uint64_t optional = fileHeader + kFileHeaderSize;
  std::uint32_t optionalMagic = 0;
  if (!ReadUint(read, optional, 2, optionalMagic)) return std::nullopt;
  std::uint32_t countAt = 0;
  if (optionalMagic == kMagicPe32) {
    countAt = 92;
  } else if (optionalMagic == kMagicPe32Plus) {
    countAt = 108;
  } else {
    return std::nullopt;
  }
  const std::uint32_t directoriesAt = countAt + 4;
  std::uint32_t count = 0;
  if (!ReadUint(read, optional + countAt, 4, count) || count <= kSecurityDirectory) return std::nullopt;
  // The entry must lie inside the optional header the file header announces, not merely in the file.
  const std::uint32_t entryAt = directoriesAt + kSecurityDirectory * kDirectoryEntrySize;
  if (entryAt + kDirectoryEntrySize > optionalSize) return std::nullopt;
  std::uint32_t tableOffset = 0, tableSize = 0;
  if (!ReadUint(read, optional + entryAt, 4, tableOffset) || !ReadUint(read, optional + entryAt + 4, 4, tableSize)) {
    return std::nullopt;
  }
  if (tableOffset == 0 || tableSize == 0) return std::nullopt;
  return CertificateTable{optional + entryAt, tableOffset, tableSize};
}

bool RemoveCertificateTable(std::string& image) {
  const auto table = FindCertificateTable([&](std::uint64_t offset, void* out, std::size_t size) {
    if (offset > image.size() || size > image.size() - offset) return false;
    std::copy_n(image.data() + offset, size, static_cast<char*>(out));
    return true;
  });
  if (!table) return false;
  std::fill_n(image.begin() + static_cast<std::ptrdiff_t>(table->entryOffset), kDirectoryEntrySize, '\0');
  const std::uint64_t start = table->offset;
  const std::uint64_t end = start + table->size;
  if (start >= image.size()) return true;  // the entry pointed past the file: clearing it was all
  if (end >= image.size()) {
    image.resize(static_cast<std::size_t>(start));
  } else {
    std::fill(image.begin() + static_cast<std::ptrdiff_t>(start), image.begin() + static_cast<std::ptrdiff_t>(end),
              '\0');
  }
  return true;
}

}  // namespace Tevrian
