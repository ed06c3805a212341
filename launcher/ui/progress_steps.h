// The progress bar's arithmetic, apart from any window: the run counts steps up to a total of any
// size, the bar shows at most 1001 positions.
#pragma once

#include <cstdint>

namespace Tevrian {

class CProgressSteps {
 public:
  static constexpr std::int32_t kMaxRange = 1000;

  // A new run of `total` steps: step 0, range 0..min(total, 1000). A run without steps still gets
  // the range 0..1, since the bar rejects an empty one; it then stays empty.
  void SetTotal(std::uint32_t total);
  // Moves `count` steps on, never past the total; true when the bar's position changed, so that
  // only a visible change costs a window message.
  bool Advance(std::uint32_t count);

  std::uint32_t Total() const { return m_total; }
  std::uint32_t Step() const { return m_step; }
  std::int32_t RangeMax() const { return m_rangeMax; }
  // step × range maximum / total, rounded to nearest; 0 without steps.
  std::int32_t Position() const { return m_position; }

 private:
  std::uint32_t m_total = 0;
  std::uint32_t m_step = 0;
  std::int32_t m_rangeMax = 1;
  std::int32_t m_position = 0;
};

}  // namespace Tevrian
