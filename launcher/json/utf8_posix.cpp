// Native builds have no MultiByteToWideChar: this gives the same units for well-formed text and
// replaces each maximal ill-formed subpart with one U+FFFD (Unicode's recommended practice). For
// some ill-formed forms, such as encoded surrogates, Windows versions give fewer U+FFFD.
#include "utf8.h"

#include <cstdint>

namespace Tevrian::JSON {

void AppendUtf8AsUtf16(std::wstring& out, std::string_view bytes) {
  const std::size_t start = out.size();
  out.resize(start + bytes.size());
  wchar_t* write = out.data() + start;
  const auto* read = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* const end = read + bytes.size();
  while (read < end) {
    const unsigned lead = *read++;
    if (lead < 0x80) {
      *write++ = static_cast<wchar_t>(lead);
      continue;
    }
    // Well-formed sequences (Unicode table 3-7): the second byte's range depends on the lead, so
    // that overlong forms, surrogates and values beyond U+10FFFF are all ill-formed.
    int trailing = 0;
    std::uint32_t code = 0;
    unsigned low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      trailing = 1;
      code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      trailing = 2;
      code = lead & 0x0F;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      trailing = 3;
      code = lead & 0x07;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      *write++ = 0xFFFD;
      continue;
    }
    bool complete = true;
    for (int i = 0; i < trailing; ++i) {
      if (read == end || *read < low || *read > high) {
        complete = false;  // the byte that broke the sequence is read again as a lead
        break;
      }
      code = (code << 6) | (*read++ & 0x3Fu);
      low = 0x80;
      high = 0xBF;
    }
    if (!complete) {
      *write++ = 0xFFFD;
    } else if (code >= 0x10000) {
      code -= 0x10000;
      *write++ = static_cast<wchar_t>(0xD800 + (code >> 10));
      *write++ = static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
    } else {
      *write++ = static_cast<wchar_t>(code);
    }
  }
  out.resize(static_cast<std::size_t>(write - out.data()));
}

}  // namespace Tevrian::JSON
