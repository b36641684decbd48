// Windows bitmap files (BITMAPFILEHEADER + BITMAPINFOHEADER or a later info header) read
// as device-independent bitmaps. Every size and offset is checked against the file, so a
// truncated or lying file is refused with a reason instead of being read past its end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pdbdevice {

struct Dib {
  int32_t width = 0;
  int32_t height = 0;  // rows, whatever the file's row order
  uint16_t bits_per_pixel = 0;
  uint32_t row_bytes = 0;       // bytes of one stored row, a multiple of 4
  std::vector<uint8_t> pixels;  // bottom row first; loaded for 1 and 24 bits per pixel only
  bool dark_is_one = false;     // 1 bit: palette entry 1 is the darker one
};

enum class DibStatus { kLoaded, kMissing, kDamaged };

struct DibLoad {
  DibStatus status = DibStatus::kMissing;
  Dib dib;
  std::string reason;  // why a damaged file was refused
};

// path is a POSIX path.
DibLoad LoadDib(const std::string& path);
// The same over bytes already in memory.
DibLoad ParseDib(const std::vector<uint8_t>& file);

}  // namespace pdbdevice
