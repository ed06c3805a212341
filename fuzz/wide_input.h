// The fuzzers' bytes as the wide text the launcher's APIs take: one UTF-16 code unit per wchar_t.
// The bytes are read as UTF-8, leniently, so that a seed stays a readable text file and every unit
// from 0 to 0xFFFF is still reachable:
//   - a well-formed sequence gives its character (a surrogate pair beyond the BMP);
//   - a three-byte sequence of a surrogate (ED A0 80 and the like) or an overlong form gives the
//     unit it spells, so lone surrogates reach the code under test;
//   - any other byte of 0x80 or more stands for itself as a unit (0x80 to 0xFF).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace TevFuzz {

inline bool IsContinuation(std::uint8_t byte) { return (byte & 0xC0) == 0x80; }

inline std::wstring WideInput(const std::uint8_t* data, std::size_t size) {
  std::wstring units;
  units.reserve(size);
  std::size_t i = 0;
  while (i < size) {
    const std::uint8_t lead = data[i];
    std::size_t length = 1;
    std::uint32_t code = lead;
    if (lead >= 0xC0 && lead < 0xE0) {
      length = 2;
      code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead < 0xF0) {
      length = 3;
      code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead < 0xF5) {
      length = 4;
      code = lead & 0x07;
    }
    bool whole = length > 1 && i + length <= size;
    for (std::size_t k = 1; whole && k < length; ++k) {
      if (!IsContinuation(data[i + k])) whole = false;
      code = (code << 6) | (data[i + k] & 0x3F);
    }
    if (length > 1 && !(whole && code <= 0x10FFFF)) {
      // Not a sequence: the byte itself.
      units += static_cast<wchar_t>(lead);
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      units += static_cast<wchar_t>(0xD800 + (code >> 10));
      units += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
    } else {
      units += static_cast<wchar_t>(code);
    }
    i += length;
  }
  return units;
}

}  // namespace TevFuzz
