#include "source_position.h"

#include <algorithm>

namespace TevTool {

SourcePositions::SourcePositions(std::string_view text) : m_text(text) {
  m_lineStarts.push_back(text.starts_with("\xEF\xBB\xBF") ? 3u : 0u);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') m_lineStarts.push_back(static_cast<std::uint32_t>(i + 1));
  }
}

LineColumn SourcePositions::At(std::uint32_t offset) const {
  offset = std::min<std::uint32_t>(offset, static_cast<std::uint32_t>(m_text.size()));
  const auto after = std::upper_bound(m_lineStarts.begin(), m_lineStarts.end(), offset);
  const std::size_t line =
      after == m_lineStarts.begin() ? 0 : static_cast<std::size_t>(after - m_lineStarts.begin()) - 1;
  const std::uint32_t start = std::min(m_lineStarts[line], offset);
  std::uint32_t column = 1;
  for (std::uint32_t i = start; i < offset; ++i) {
    // Continuation bytes belong to the character before them.
    if ((static_cast<unsigned char>(m_text[i]) & 0xC0) != 0x80) ++column;
  }
  return {static_cast<std::uint32_t>(line + 1), column};
}

}  // namespace TevTool
