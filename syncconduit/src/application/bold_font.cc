// Character widths of the handheld's bold font (Palm OS font 1, boldFont: 11 pixels
// high), by character code of the handheld's Latin-1 code page. The figures are the
// font's published metrics as the PilRC resource compiler carries them for its layout
// of menus and forms.
#include <cstdint>
#include <string>

#include "menus.h"

namespace conduit::app {
namespace {

constexpr uint8_t kBoldWidths[256] = {
    5,  5, 5, 5,  5,  5,  5,  5,  5, 2,  5, 5, 5,  5,  5,  5,   // 0x00
    5,  5, 5, 5,  11, 5,  10, 8,  6, 6,  5, 5, 5,  5,  5,  5,   // 0x10
    2,  3, 6, 10, 6,  13, 9,  3,  5, 5,  6, 6, 3,  5,  3,  6,   // 0x20
    6,  6, 6, 6,  6,  6,  6,  6,  6, 6,  3, 3, 6,  6,  6,  6,   // 0x30
    10, 7, 7, 6,  7,  5,  5,  8,  8, 3,  5, 7, 6,  10, 7,  8,   // 0x40
    7,  8, 8, 6,  7,  7,  8,  11, 7, 7,  7, 4, 6,  4,  6,  5,   // 0x50
    4,  6, 6, 5,  6,  6,  5,  6,  6, 3,  4, 6, 3,  9,  6,  6,   // 0x60
    6,  6, 5, 5,  6,  6,  6,  9,  6, 6,  5, 5, 3,  5,  7,  5,   // 0x70
    6,  5, 3, 9,  5,  6,  5,  5,  4, 17, 6, 5, 10, 10, 10, 10,  // 0x80
    10, 3, 3, 5,  5,  4,  4,  6,  7, 10, 5, 5, 10, 5,  5,  7,   // 0x90
    2,  3, 6, 7,  8,  7,  3,  6,  4, 8,  6, 8, 6,  5,  8,  6,   // 0xA0
    5,  6, 4, 4,  4,  6,  7,  2,  4, 2,  6, 8, 9,  9,  9,  6,   // 0xB0
    7,  7, 7, 7,  7,  7,  9,  6,  5, 5,  5, 5, 3,  3,  3,  3,   // 0xC0
    8,  7, 8, 8,  8,  8,  8,  6,  8, 7,  7, 7, 7,  7,  7,  8,   // 0xD0
    6,  6, 6, 6,  6,  6,  9,  5,  6, 6,  6, 6, 3,  3,  3,  3,   // 0xE0
    6,  6, 6, 6,  6,  6,  6,  7,  8, 6,  6, 6, 6,  6,  6,  6,   // 0xF0
};

}  // namespace

int TextWidth(const std::string& text) {
  int width = 0;
  for (char c : text) width += kBoldWidths[uint8_t(c)];
  return width;
}

}  // namespace conduit::app
