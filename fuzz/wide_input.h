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

// The sequence that starts at data[i]: its code point and length, read without judging the value
// (overlong and surrogate forms included; callers decide). Length 0 when no whole sequence starts
// there: a continuation byte, a lead byte of 0xF5 or more, or a sequence cut short.
struct Utf8Sequence {
  std::uint32_t code;
  std::size_t length;
};

inline Utf8Sequence ReadUtf8Sequence(const std::uint8_t* data, std::size_t size, std::size_t i) {
  const std::uint8_t lead = data[i];
  if (lead < 0x80) return {lead, 1};
  std::size_t length = 0;
  std::uint32_t code = 0;
  if (lead >= 0xC0 && lead < 0xE0) {
    length = 2;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead < 0xF0) {
    length = 3;
    code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead < 0xF5) {
    length = 4;
    code = lead & 0x07;
  } else {
    return {lead, 0};
  }
  if (i + length > size) return {lead, 0};
  for (std::size_t k = 1; k < length; ++k) {
    if ((data[i + k] & 0xC0) != 0x80) return {lead, 0};
    code = (code << 6) | (data[i + k] & 0x3F);
  }
  return {code, length};
}

inline std::wstring WideInput(const std::uint8_t* data, std::size_t size) {
  std::wstring units;
  units.reserve(size);
  std::size_t i = 0;
  while (i < size) {
    const Utf8Sequence sequence = ReadUtf8Sequence(data, size, i);
    if (sequence.length == 0 || sequence.code > 0x10FFFF) {
      // Not a sequence: the byte itself.
      units += static_cast<wchar_t>(data[i]);
      ++i;
      continue;
    }
    std::uint32_t code = sequence.code;
    if (code >= 0x10000) {
      code -= 0x10000;
      units += static_cast<wchar_t>(0xD800 + (code >> 10));
      units += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
    } else {
      units += static_cast<wchar_t>(code);
    }
    i += sequence.length;
  }
  return units;
}

}  // namespace TevFuzz
