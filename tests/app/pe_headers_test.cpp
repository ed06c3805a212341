#include "app/pe_headers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Image {
  std::uint32_t peOffset = 0x80;
  std::uint16_t magic = 0x20B;        // PE32+
  std::uint32_t directories = 16;     // NumberOfRvaAndSizes
  std::uint16_t optionalSize = 0xF0;  // SizeOfOptionalHeader
  std::uint32_t tableOffset = 0x400;
  std::uint32_t tableSize = 0x500;
  std::size_t length = 0x200;  // bytes of headers the file holds
  bool mz = true;
};

void Put(std::vector<unsigned char>& bytes, std::size_t at, std::uint32_t value, std::size_t size) {
  for (std::size_t i = 0; i < size && at + i < bytes.size(); ++i) bytes[at + i] = (value >> (8 * i)) & 0xFF;
}

// A header block shaped like a linker's: DOS header, "PE\0\0", file header, optional header.
std::vector<unsigned char> Build(const Image& image) {
  std::vector<unsigned char> bytes(image.length);
  if (image.mz) Put(bytes, 0, 0x5A4D, 2);
  Put(bytes, 0x3C, image.peOffset, 4);
  const std::size_t pe = image.peOffset;
  Put(bytes, pe, 0x00004550, 4);
  Put(bytes, pe + 4 + 16, image.optionalSize, 2);
  const std::size_t optional = pe + 24;
  Put(bytes, optional, image.magic, 2);
  const std::size_t countAt = optional + (image.magic == 0x10B ? 92 : 108);
  Put(bytes, countAt, image.directories, 4);
  Put(bytes, countAt + 4 + 4 * 8, image.tableOffset, 4);
  Put(bytes, countAt + 4 + 4 * 8 + 4, image.tableSize, 4);
  return bytes;
}

bool HasTable(const std::vector<unsigned char>& bytes) {
  return Tevrian::HasCertificateTable([&](std::uint64_t offset, void* out, std::size_t size) {
    if (offset > bytes.size() || size > bytes.size() - offset) return false;
    std::memcpy(out, bytes.data() + offset, size);
    return true;
  });
}

TEST(PeHeadersTest, CertificateTableIsFoundOnlyInAWellFormedImage) {
  const auto with = [](auto change) {
    Image image;
    change(image);
    return image;
  };
  struct Case {
    const char* name;
    Image image;
    bool table;
  } const cases[] = {
      {"64-bit image with a table", Image{}, true},
      {"32-bit image with a table", with([](Image& i) { i.magic = 0x10B, i.optionalSize = 0xE0; }), true},
      {"table of size 0", with([](Image& i) { i.tableSize = 0; }), false},
      {"table at offset 0", with([](Image& i) { i.tableOffset = 0; }), false},
      {"no MZ", with([](Image& i) { i.mz = false; }), false},
      {"PE header beyond the file", with([](Image& i) { i.peOffset = 0x1000; }), false},
      {"PE header offset near 4 GiB", with([](Image& i) { i.peOffset = 0xFFFFFFF8u; }), false},
      {"unknown optional header kind", with([](Image& i) { i.magic = 0x107; }), false},
      {"no security directory entry", with([](Image& i) { i.directories = 4; }), false},
      {"optional header too short for the entry", with([](Image& i) { i.optionalSize = 108 + 4 + 4 * 8 + 4; }), false},
      {"headers cut inside the entry", with([](Image& i) { i.length = 0x80 + 24 + 108 + 4 + 4 * 8 + 6; }), false},
      {"file shorter than a DOS header", with([](Image& i) { i.length = 0x30; }), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(HasTable(Build(c.image)), c.table);
  }
}

TEST(PeHeadersTest, RemovingTheCertificateTableLeavesTheUnsignedImage) {
  const auto bytesOf = [](const std::vector<unsigned char>& v) { return std::string(v.begin(), v.end()); };
  Image image;
  image.length = 0x900;  // headers, then the table at 0x400..0x900: the end of the file
  std::vector<unsigned char> built = Build(image);
  std::fill(built.begin() + 0x400, built.end(), 0xAB);
  std::string signedImage = bytesOf(built);
  ASSERT_TRUE(Tevrian::RemoveCertificateTable(signedImage));
  EXPECT_EQ(signedImage.size(), 0x400u);
  EXPECT_FALSE(HasTable(std::vector<unsigned char>(signedImage.begin(), signedImage.end())));
  EXPECT_EQ(signedImage.substr(0, 0x80), bytesOf(built).substr(0, 0x80));

  // Something after the table: the table's bytes are zeroed, nothing moves.
  image.length = 0xA00;
  built = Build(image);
  std::fill(built.begin() + 0x400, built.begin() + 0x900, 0xAB);
  std::string middle = bytesOf(built);
  ASSERT_TRUE(Tevrian::RemoveCertificateTable(middle));
  EXPECT_EQ(middle.size(), 0xA00u);
  EXPECT_EQ(middle.substr(0x400, 0x500), std::string(0x500, '\0'));
  EXPECT_FALSE(HasTable(std::vector<unsigned char>(middle.begin(), middle.end())));

  // No table: nothing changes.
  image.tableSize = 0;
  std::string unsignedImage = bytesOf(Build(image));
  const std::string before = unsignedImage;
  EXPECT_FALSE(Tevrian::RemoveCertificateTable(unsignedImage));
  EXPECT_EQ(unsignedImage, before);
}

}  // namespace
