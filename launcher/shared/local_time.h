// A moment of the local clock, as the log's prefix and the names of the run's files show it.
#pragma once

namespace Tevrian {

struct LocalTime {
  unsigned year, month, day, hour, minute, second;
};

}  // namespace Tevrian
