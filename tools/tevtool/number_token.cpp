#include "number_token.h"

namespace TevTool {

NumberReading ReadNumberToken(std::string_view token) {
  NumberReading reading;
  std::size_t i = 0;
  const bool negative = !token.empty() && token[0] == '-';
  if (negative) ++i;
  const std::size_t digits = i;
  std::uint32_t value = 0;
  while (i < token.size() && token[i] >= '0' && token[i] <= '9') {
    const auto digit = static_cast<std::uint32_t>(token[i] - '0');
    value = value * 10u + digit;  // unsigned: wraps to the low 32 bits, as the launcher keeps
    reading.written = reading.written * 10 + digit;
    ++i;
  }
  if (negative) {
    value = 0u - value;
    reading.written = -reading.written;
  }
  reading.value = static_cast<std::int32_t>(value);
  reading.plain = i > digits && i == token.size();
  return reading;
}

}  // namespace TevTool
