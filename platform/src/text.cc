#include "platform/text.h"

#include <cstdint>
#include <cstdio>

namespace nb {

namespace {

// Characters of Windows-1252's bytes 0x80-0x9F; 0 where the byte is undefined.
constexpr char16_t kHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The Windows-1252 byte of a character, or -1.
int ByteOf(uint32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return int(c);
  for (int i = 0; i < 32; ++i)
    if (kHigh[i] && kHigh[i] == c) return 0x80 + i;
  return -1;
}

// Length of the well-formed UTF-8 sequence at s[i] for a character above 0x7F, 0 if none.
size_t Sequence(std::string_view s, size_t i, uint32_t* c) {
  const uint8_t b = uint8_t(s[i]);
  size_t n;
  uint32_t min;
  if (b >= 0xC2 && b <= 0xDF) {
    n = 2, min = 0x80, *c = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    n = 3, min = 0x800, *c = b & 0x0F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    n = 4, min = 0x10000, *c = b & 0x07;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    const uint8_t t = uint8_t(s[i + k]);
    if ((t & 0xC0) != 0x80) return 0;
    *c = *c << 6 | (t & 0x3F);
  }
  if (*c < min || *c > 0x10FFFF || (*c >= 0xD800 && *c <= 0xDFFF)) return 0;
  return n;
}

}  // namespace

Windows1252Text ToWindows1252(std::string_view in) {
  Windows1252Text out;
  if (in.substr(0, 3) == "\xEF\xBB\xBF") in.remove_prefix(3);
  out.text.reserve(in.size());
  for (size_t i = 0; i < in.size();) {
    const uint8_t b = uint8_t(in[i]);
    uint32_t c = 0;
    size_t n = b < 0x80 ? 0 : Sequence(in, i, &c);
    int byte = b;
    char what[64];
    if (n == 0) {
      n = 1;
      if (b >= 0x80 && b <= 0x9F && !kHigh[b - 0x80]) {
        byte = -1;
        snprintf(what, sizeof what, "byte 0x%02X", b);
      }
    } else {
      byte = ByteOf(c);
      snprintf(what, sizeof what, "character U+%04X", unsigned(c));
    }
    if (byte < 0) {
      if (out.error.empty())
        out.error =
            std::string(what) + " at byte " + std::to_string(i + 1) + " has no Windows-1252 form";
      byte = '?';
    }
    out.text.push_back(char(byte));
    i += n;
  }
  return out;
}

}  // namespace nb
