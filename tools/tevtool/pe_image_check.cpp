#include "pe_image_check.h"

#include <cstdint>
#include <algorithm>
#include <set>
#include <vector>

namespace TevTool {
namespace {

constexpr std::uint32_t kMaxSections = 96;      // the loader's own limit
constexpr std::uint32_t kMaxResourceDepth = 3;  // type, name, language
constexpr std::uint32_t kMaxResourceEntries = 1 << 16;
constexpr std::uint32_t kResourceDirectory = 2;
constexpr std::uint32_t kCertificateDirectory = 4;

std::string Hex(std::uint64_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  do {
    text.insert(text.begin(), kDigits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return "0x" + text;
}

struct Section {
  std::string name;
  std::uint32_t virtualAddress, virtualSize, rawOffset, rawSize;
};

class Reader {
 public:
  explicit Reader(std::string_view image) : m_image(image) {}

  bool Fits(std::uint64_t offset, std::uint64_t size) const {
    return offset <= m_image.size() && size <= m_image.size() - offset;
  }
  std::uint16_t U16(std::uint64_t offset) const {
    return static_cast<std::uint16_t>(Byte(offset) | Byte(offset + 1) << 8);
  }
  std::uint32_t U32(std::uint64_t offset) const {
    return static_cast<std::uint32_t>(U16(offset)) | static_cast<std::uint32_t>(U16(offset + 2)) << 16;
  }
  std::uint64_t Size() const { return m_image.size(); }
  std::string_view Bytes(std::uint64_t offset, std::size_t size) const { return m_image.substr(offset, size); }

 private:
  std::uint32_t Byte(std::uint64_t offset) const { return static_cast<unsigned char>(m_image[offset]); }
  std::string_view m_image;
};

class Checker {
 public:
  explicit Checker(std::string_view image) : m_read(image) {}

  std::string Problem() {
    if (std::string problem = Headers(); !problem.empty()) return problem;
    if (std::string problem = Sections(); !problem.empty()) return problem;
    if (std::string problem = Certificate(); !problem.empty()) return problem;
    return Resources();
  }

 private:
  std::string Headers() {
    if (!m_read.Fits(0, 0x40) || m_read.U16(0) != 0x5A4D) return "it is no Windows executable (no MZ header)";
    m_peOffset = m_read.U32(0x3C);
    if (!m_read.Fits(m_peOffset, 24) || m_read.U32(m_peOffset) != 0x00004550) {
      return "its PE header at " + Hex(m_peOffset) + " is missing or lies past the file's end";
    }
    m_sectionCount = m_read.U16(m_peOffset + 6);
    const std::uint32_t optionalSize = m_read.U16(m_peOffset + 20);
    const std::uint64_t optional = m_peOffset + 24;
    if (m_sectionCount == 0 || m_sectionCount > kMaxSections) {
      return "its section count " + std::to_string(m_sectionCount) + " is not between 1 and " +
             std::to_string(kMaxSections);
    }
    if (!m_read.Fits(optional, optionalSize) || optionalSize < 2) return "its optional header lies past the file's end";
    const std::uint16_t magic = m_read.U16(optional);
    if (magic != 0x10B && magic != 0x20B)
      return "its optional header's magic " + Hex(magic) + " is neither PE32 nor PE32+";
    const std::uint64_t countOffset = optional + (magic == 0x10B ? 92 : 108);
    m_directories = countOffset + 4;
    if (countOffset + 4 > optional + optionalSize) return "its optional header is too short for its data directories";
    m_directoryCount = m_read.U32(countOffset);
    if (m_directoryCount > 16 || m_directories + 8ull * m_directoryCount > optional + optionalSize) {
      return "its data directory count " + std::to_string(m_directoryCount) + " does not fit its optional header";
    }
    m_sectionTable = optional + optionalSize;
    if (!m_read.Fits(m_sectionTable, 40ull * m_sectionCount)) return "its section table lies past the file's end";
    return {};
  }

  std::string Sections() {
    for (std::uint32_t i = 0; i < m_sectionCount; ++i) {
      const std::uint64_t at = m_sectionTable + 40ull * i;
      Section section;
      const std::string_view name = m_read.Bytes(at, 8);
      section.name = std::string(name.substr(0, name.find('\0')));
      section.virtualSize = m_read.U32(at + 8);
      section.virtualAddress = m_read.U32(at + 12);
      section.rawSize = m_read.U32(at + 16);
      section.rawOffset = m_read.U32(at + 20);
      if (section.rawSize != 0 && !m_read.Fits(section.rawOffset, section.rawSize)) {
        return "it is cut short: section \"" + section.name + "\" ends at " +
               Hex(std::uint64_t{section.rawOffset} + section.rawSize) + ", past the file's end at " +
               Hex(m_read.Size());
      }
      if (section.rawSize != 0) {
        m_sectionsEnd = std::max<std::uint64_t>(m_sectionsEnd, std::uint64_t{section.rawOffset} + section.rawSize);
      }
      m_sections.push_back(std::move(section));
    }
    return {};
  }

  bool Directory(std::uint32_t index, std::uint32_t& address, std::uint32_t& size) const {
    if (index >= m_directoryCount) return false;
    address = m_read.U32(m_directories + 8ull * index);
    size = m_read.U32(m_directories + 8ull * index + 4);
    return address != 0 || size != 0;
  }

  // The certificate table is the only data directory given as a file offset: it must follow the
  // last section, wholly within the file, or stamping would cut or overwrite the image's own data.
  std::string Certificate() const {
    std::uint32_t offset = 0, size = 0;
    if (!Directory(kCertificateDirectory, offset, size)) return {};
    const std::string entry = "its certificate table entry (offset " + Hex(offset) + ", size " + Hex(size) + ")";
    if (offset < m_sectionsEnd) return entry + " points into its sections, which end at " + Hex(m_sectionsEnd);
    if (size < 8 || !m_read.Fits(offset, size)) return entry + " reaches past the file's end at " + Hex(m_read.Size());
    return {};
  }

  // The file offset of `size` bytes at `rva`, within one section's data.
  bool FileOffset(std::uint32_t rva, std::uint32_t size, std::uint64_t& offset) const {
    for (const Section& section : m_sections) {
      const std::uint64_t start = section.virtualAddress;
      if (rva < start || rva - start >= std::max(section.virtualSize, section.rawSize)) continue;
      const std::uint64_t within = rva - start;
      if (within + size > section.rawSize) return false;
      offset = section.rawOffset + within;
      return m_read.Fits(offset, size);
    }
    return false;
  }

  std::string Resources() {
    std::uint32_t rva = 0, size = 0;
    if (!Directory(kResourceDirectory, rva, size)) return {};
    std::uint64_t base = 0;
    if (size < 16 || !FileOffset(rva, size, base)) {
      return "its resource directory (address " + Hex(rva) + ", size " + Hex(size) +
             ") does not lie within its sections' data";
    }
    m_resourceBase = base;
    m_resourceSize = size;
    return ResourceTable(0, 0);
  }

  std::string ResourceTable(std::uint32_t offset, std::uint32_t depth) {
    const std::string where = "its resource table at " + Hex(m_resourceBase + offset);
    if (depth >= kMaxResourceDepth) return where + " lies deeper than type, name and language";
    if (!m_visited.insert(offset).second) return where + " is reached twice: the resource tree loops";
    if (std::uint64_t{offset} + 16 > m_resourceSize) return where + " lies past the resource directory's end";
    const std::uint64_t count =
        std::uint64_t{m_read.U16(m_resourceBase + offset + 12)} + m_read.U16(m_resourceBase + offset + 14);
    m_entries += count;
    if (m_entries > kMaxResourceEntries)
      return where + " brings the resource entries past " + std::to_string(kMaxResourceEntries);
    if (std::uint64_t{offset} + 16 + 8 * count > m_resourceSize) {
      return where + " claims " + std::to_string(count) + " entries, more than the resource directory holds";
    }
    for (std::uint64_t i = 0; i < count; ++i) {
      const std::uint64_t entry = m_resourceBase + offset + 16 + 8 * i;
      const std::uint32_t name = m_read.U32(entry);
      const std::uint32_t target = m_read.U32(entry + 4);
      if (name & 0x80000000u) {
        const std::uint32_t text = name & 0x7FFFFFFFu;
        if (std::uint64_t{text} + 2 > m_resourceSize ||
            std::uint64_t{text} + 2 + 2ull * m_read.U16(m_resourceBase + text) > m_resourceSize) {
          return where + " has a name past the resource directory's end";
        }
      }
      const bool isTable = (target & 0x80000000u) != 0;
      if (isTable != (depth + 1 < kMaxResourceDepth)) {
        return where + (isTable ? " has a table where a resource's data belongs" : " has data where a table belongs");
      }
      std::string problem = isTable ? ResourceTable(target & 0x7FFFFFFFu, depth + 1) : ResourceData(target);
      if (!problem.empty()) return problem;
    }
    return {};
  }

  std::string ResourceData(std::uint32_t offset) const {
    const std::string where = "its resource data entry at " + Hex(m_resourceBase + offset);
    if (std::uint64_t{offset} + 16 > m_resourceSize) return where + " lies past the resource directory's end";
    const std::uint32_t rva = m_read.U32(m_resourceBase + offset);
    const std::uint32_t size = m_read.U32(m_resourceBase + offset + 4);
    std::uint64_t data = 0;
    if (!FileOffset(rva, size, data)) {
      return where + " points to " + Hex(size) + " bytes at address " + Hex(rva) + ", outside its sections' data";
    }
    return {};
  }

  Reader m_read;
  std::uint64_t m_peOffset = 0, m_sectionTable = 0, m_directories = 0, m_sectionsEnd = 0;
  std::uint32_t m_sectionCount = 0, m_directoryCount = 0;
  std::vector<Section> m_sections;
  std::uint64_t m_resourceBase = 0, m_resourceSize = 0, m_entries = 0;
  std::set<std::uint32_t> m_visited;
};

}  // namespace

std::string PeImageProblem(std::string_view image) { return Checker(image).Problem(); }

}  // namespace TevTool
