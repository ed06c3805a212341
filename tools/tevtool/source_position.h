// Byte offsets of a text turned into the line and column an editor shows.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace TevTool {

struct LineColumn {
  std::uint32_t line = 1;
  std::uint32_t column = 1;
};

class SourcePositions {
 public:
  explicit SourcePositions(std::string_view text);
  // Both from 1; columns count characters (UTF-8 sequences), not bytes, and a leading byte-order
  // mark is not one.
  LineColumn At(std::uint32_t offset) const;

 private:
  std::string_view m_text;
  std::vector<std::uint32_t> m_lineStarts;
};

}  // namespace TevTool
