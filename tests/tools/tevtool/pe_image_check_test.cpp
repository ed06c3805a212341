// The image check stamp makes before it changes a launcher, over a small image built here and the
// shapes a hostile or broken launcher takes.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <tuple>
#include <string>

#include "pe_image_check.h"

namespace {

using TevTool::PeImageProblem;

void Put16(std::string& image, std::size_t at, std::uint16_t value) {
  image[at] = static_cast<char>(value & 0xFF);
  image[at + 1] = static_cast<char>(value >> 8);
}
void Put32(std::string& image, std::size_t at, std::uint32_t value) {
  Put16(image, at, static_cast<std::uint16_t>(value & 0xFFFF));
  Put16(image, at + 2, static_cast<std::uint16_t>(value >> 16));
}

// Offsets of the image below.
constexpr std::size_t kPe = 0x40;
constexpr std::size_t kOptional = kPe + 24;
constexpr std::size_t kDirectories = kOptional + 96;
constexpr std::size_t kResourceEntry = kDirectories + 8 * 2;
constexpr std::size_t kCertificateEntry = kDirectories + 8 * 4;
constexpr std::size_t kSectionTable = kOptional + 0xE0;
constexpr std::size_t kResources = 0x200;  // the .rsrc section's data, at address 0x1000

// A PE32 image with one section, .rsrc, holding one resource (type 10, name 1, language 0) of four
// bytes: the smallest shape that has every structure stamp reads.
std::string SmallImage() {
  std::string image(0x400, '\0');
  Put16(image, 0, 0x5A4D);
  Put32(image, 0x3C, kPe);
  Put32(image, kPe, 0x00004550);
  Put16(image, kPe + 4, 0x14C);
  Put16(image, kPe + 6, 1);
  Put16(image, kPe + 20, 0xE0);
  Put16(image, kOptional, 0x10B);
  Put32(image, kOptional + 92, 16);
  Put32(image, kResourceEntry, 0x1000);
  Put32(image, kResourceEntry + 4, 0x100);
  image.replace(kSectionTable, 5, ".rsrc");
  Put32(image, kSectionTable + 8, 0x200);
  Put32(image, kSectionTable + 12, 0x1000);
  Put32(image, kSectionTable + 16, 0x200);
  Put32(image, kSectionTable + 20, kResources);
  // Root (types) -> names -> languages -> the data entry.
  for (const auto& [table, id, target] :
       {std::tuple{0x00u, 10u, 0x80000018u}, std::tuple{0x18u, 1u, 0x80000030u}, std::tuple{0x30u, 0u, 0x48u}}) {
    Put16(image, kResources + table + 14, 1);
    Put32(image, kResources + table + 16, id);
    Put32(image, kResources + table + 20, target);
  }
  Put32(image, kResources + 0x48, 0x1060);
  Put32(image, kResources + 0x4C, 4);
  image.replace(kResources + 0x60, 4, "data");
  return image;
}

TEST(PeImageCheck, TheSmallImageIsSound) { EXPECT_EQ(PeImageProblem(SmallImage()), ""); }

TEST(PeImageCheck, BrokenShapesAreNamed) {
  struct Case {
    const char* name;
    std::function<void(std::string&)> breakIt;
    const char* problem;
  } const cases[] = {
      {"no executable", [](std::string& i) { i = "just text, not a program"; },
       "it is no Windows executable (no MZ header)"},
      {"PE header past the end", [](std::string& i) { Put32(i, 0x3C, 0x10000); },
       "its PE header at 0x10000 is missing or lies past the file's end"},
      {"cut short", [](std::string& i) { i.resize(0x300); },
       "it is cut short: section \".rsrc\" ends at 0x400, past the file's end at 0x300"},
      {"0xFFFF sections", [](std::string& i) { Put16(i, kPe + 6, 0xFFFF); },
       "its section count 65535 is not between 1 and 96"},
      {"resource table claiming 0xFFFF entries", [](std::string& i) { Put16(i, kResources + 14, 0xFFFF); },
       "its resource table at 0x200 claims 65535 entries, more than the resource directory holds"},
      {"resource tree that loops", [](std::string& i) { Put32(i, kResources + 0x18 + 20, 0x80000000u); },
       "its resource table at 0x200 is reached twice: the resource tree loops"},
      {"resource directory past the file", [](std::string& i) { Put32(i, kResourceEntry, 0x90000); },
       "its resource directory (address 0x90000, size 0x100) does not lie within its sections' data"},
      {"resource data past its section", [](std::string& i) { Put32(i, kResources + 0x4C, 0x100000); },
       "its resource data entry at 0x248 points to 0x100000 bytes at address 0x1060, outside its sections' data"},
      {"certificate table inside the code",
       [](std::string& i) {
         Put32(i, kCertificateEntry, 0x210);
         Put32(i, kCertificateEntry + 4, 62);
       },
       "its certificate table entry (offset 0x210, size 0x3E) points into its sections, which end at 0x400"},
      {"certificate table of size 0xFFFFFFFF",
       [](std::string& i) {
         Put32(i, kCertificateEntry, 0x400);
         Put32(i, kCertificateEntry + 4, 0xFFFFFFFFu);
       },
       "its certificate table entry (offset 0x400, size 0xFFFFFFFF) reaches past the file's end at 0x400"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string image = SmallImage();
    c.breakIt(image);
    EXPECT_EQ(PeImageProblem(image), c.problem);
  }
}

TEST(PeImageCheck, EveryShorterCutIsRefusedWithoutReadingPastItsEnd) {
  // Each prefix of the image is checked without reading past its end (the sanitizers watch).
  const std::string image = SmallImage();
  for (std::size_t size = 0; size < image.size(); ++size) {
    EXPECT_NE(PeImageProblem(image.substr(0, size)), "") << size;
  }
}

}  // namespace
