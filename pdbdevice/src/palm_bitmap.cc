#include "palm_bitmap.h"

#include <algorithm>

#include "pdbfile/bytes.h"

namespace pdbdevice {

uint32_t RowBytes(int depth, int32_t width) {
  const uint32_t w = uint32_t(width);
  auto even = [](uint32_t n) { return (n + 1) & ~1u; };
  switch (depth) {
    case 1:
      return even((w + 7) / 8);
    case 2:
      return even((w + 3) / 4);
    case 4:
      return even((w + 1) / 2);
    case 8:
      return even(w);
    default:
      return 2 * w;
  }
}

size_t BitmapSize(int depth, int32_t width, int32_t height) {
  const size_t raw = kBitmapHeaderSize + size_t(RowBytes(depth, width)) * size_t(height);
  return (raw + 3) & ~size_t(3);
}

std::vector<uint8_t> NewBitmap(int depth, int32_t width, int32_t height) {
  std::vector<uint8_t> b(BitmapSize(depth, width, height), 0);
  nb::pdb::Set16(&b[0], uint16_t(width));
  nb::pdb::Set16(&b[2], uint16_t(height));
  nb::pdb::Set16(&b[4], uint16_t(RowBytes(depth, width)));
  // flags 0; pixel size; version 1; next offset, transparent index, compression and
  // reserved all 0.
  b[8] = uint8_t(depth);
  b[9] = 1;
  return b;
}

void FillMonochrome(const Dib& mono, int32_t width, int32_t height, uint8_t* pixels) {
  const uint32_t row_bytes = RowBytes(1, width);
  const int32_t cols = std::min(width, mono.width);
  const uint8_t flip = mono.dark_is_one ? 0x00 : 0xFF;
  for (int32_t y = 0; y < height && y < mono.height; ++y) {
    const uint8_t* from = &mono.pixels[size_t(mono.height - 1 - y) * mono.row_bytes];
    uint8_t* to = pixels + size_t(y) * row_bytes;
    for (int32_t byte = 0; byte * 8 < cols; ++byte) {
      uint8_t v = uint8_t(from[byte] ^ flip);
      const int32_t left = cols - byte * 8;
      if (left < 8) v &= uint8_t(0xFF << (8 - left));  // pad bits stay white
      to[byte] = v;
    }
  }
}

std::vector<uint8_t> ChainFamily(const std::vector<std::vector<uint8_t>>& bitmaps) {
  std::vector<uint8_t> family;
  size_t total = 0;
  for (const auto& b : bitmaps) total += b.size();
  family.reserve(total);
  for (size_t i = 0; i < bitmaps.size(); ++i) {
    const size_t at = family.size();
    family.insert(family.end(), bitmaps[i].begin(), bitmaps[i].end());
    const bool last = i + 1 == bitmaps.size();
    nb::pdb::Set16(&family[at + 10], last ? 0 : uint16_t(bitmaps[i].size() / 4));
  }
  return family;
}

}  // namespace pdbdevice
