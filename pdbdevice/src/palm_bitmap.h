// Handheld bitmaps (version 1, uncompressed) and bitmap families: the row-bytes rule, the
// 16-byte big-endian header and the 1-bit pixels made from a monochrome bitmap file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "bmp_file.h"

namespace pdbdevice {

constexpr size_t kBitmapHeaderSize = 16;
// Coordinates are 16-bit signed on the handheld.
constexpr int32_t kMaxBitmapSide = 0x7FFF;
// The next-depth offset counts 4-byte words in 16 bits.
constexpr size_t kMaxBitmapSize = size_t(0xFFFF) * 4;

// Bytes of one pixel row at depth 1, 2, 4, 8 or 16.
uint32_t RowBytes(int depth, int32_t width);
// Header plus pixels, rounded up to a multiple of 4.
size_t BitmapSize(int depth, int32_t width, int32_t height);

// One bitmap of a family: header (next-depth offset still 0) and pixels, BitmapSize bytes.
std::vector<uint8_t> NewBitmap(int depth, int32_t width, int32_t height);

// The 1-bit pixels of a width x height bitmap from a monochrome file, top row first, set
// bits dark; what lies outside the file's image is 0.
void FillMonochrome(const Dib& mono, int32_t width, int32_t height, uint8_t* pixels);

// Chains the bitmaps in the given order: each next-depth offset is the bitmap's size in
// words, the last one's 0.
std::vector<uint8_t> ChainFamily(const std::vector<std::vector<uint8_t>>& bitmaps);

}  // namespace pdbdevice
