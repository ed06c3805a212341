// Number tokens as the launcher turns them into integers: decimal digits after an optional minus
// sign, kept to their low 32 bits; a fraction, an exponent or anything else after the digits is
// dropped and a leading plus sign reads as 0. So 1.9 is 1, 2e3 is 2 and +5 is 0, without a word.
#pragma once

#include <cstdint>
#include <string_view>

namespace TevTool {

struct NumberReading {
  std::int32_t value = 0;   // what the launcher reads
  bool plain = false;       // the token is an optional minus sign and decimal digits only
  long double written = 0;  // the digits' own value (plain tokens only)
};

NumberReading ReadNumberToken(std::string_view token);

}  // namespace TevTool
