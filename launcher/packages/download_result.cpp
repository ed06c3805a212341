#include "download_result.h"

namespace Tevrian {

std::int32_t ResultFromLastError(std::uint32_t error) {
  constexpr std::uint32_t kFail = 0x80004005;  // E_FAIL
  if (error == 0) return static_cast<std::int32_t>(kFail);
  if (static_cast<std::int32_t>(error) < 0) return static_cast<std::int32_t>(error);
  return static_cast<std::int32_t>(0x80070000u | (error & 0xFFFFu));
}

}  // namespace Tevrian
