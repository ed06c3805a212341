#include "version_literal.h"

namespace TevTool {

VersionLiteral ReadVersionLiteral(std::wstring_view text, std::size_t position) {
  // The same walk as the launcher's ParseVersion, without the wrapping.
  const std::size_t start = position;
  bool overflows = false;
  if (position < text.size() && text[position] == L'v') ++position;
  for (int field = 0; field < 4; ++field) {
    unsigned long value = 0;
    while (position < text.size() && text[position] >= L'0' && text[position] <= L'9') {
      if (value <= 65535) value = value * 10 + static_cast<unsigned long>(text[position] - L'0');
      ++position;
    }
    if (value > 65535) overflows = true;
    if (position < text.size() && text[position] == L'.') ++position;
  }
  return {text.substr(start, position - start), overflows};
}

}  // namespace TevTool
