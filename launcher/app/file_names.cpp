#include "file_names.h"

#include <utility>

#include "../shared/text_template.h"

namespace Tevrian {

std::wstring LogFileName(std::wstring packageName, const LocalTime& t, std::size_t maxLength) {
  const std::wstring stamp = FormatText(L"_{0}-{1:02d}-{2:02d}-{3:02d}-{4:02d}-{5:02d}.log", t.year, t.month, t.day,
                                        t.hour, t.minute, t.second);
  return StampedFileName(std::move(packageName), stamp, maxLength);
}

}  // namespace Tevrian
