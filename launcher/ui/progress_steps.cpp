#include "progress_steps.h"

#include <algorithm>

namespace Tevrian {

void CProgressSteps::SetTotal(std::uint32_t total) {
  m_total = total;
  m_step = 0;
  m_position = 0;
  m_rangeMax = total == 0 ? 1 : static_cast<std::int32_t>(std::min<std::uint32_t>(total, kMaxRange));
}

bool CProgressSteps::Advance(std::uint32_t count) {
  if (count == 0) return false;
  m_step = static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t{m_step} + count, m_total));
  // In 64 bits: MulDiv's 32-bit signed operands would turn a total beyond 2^31 negative.
  const std::int32_t position =
      m_total == 0 ? 0
                   : static_cast<std::int32_t>(
                         (std::uint64_t{m_step} * static_cast<std::uint64_t>(m_rangeMax) + m_total / 2) / m_total);
  if (position == m_position) return false;
  m_position = position;
  return true;
}

}  // namespace Tevrian
