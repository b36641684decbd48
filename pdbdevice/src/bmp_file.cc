#include "bmp_file.h"

#include <algorithm>
#include <cerrno>
#include <string>

#include "platform/os.h"

namespace pdbdevice {
namespace {

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

DibLoad Damaged(std::string reason) {
  DibLoad load;
  load.status = DibStatus::kDamaged;
  load.reason = std::move(reason);
  return load;
}

int Luma(const uint8_t* bgr) { return 114 * bgr[0] + 587 * bgr[1] + 299 * bgr[2]; }

constexpr size_t kFileHeader = 14;
constexpr uint32_t kInfoHeader = 40;
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;

}  // namespace

DibLoad ParseDib(const std::vector<uint8_t>& file) {
  const size_t size = file.size();
  if (size < kFileHeader + 4 || file[0] != 'B' || file[1] != 'M')
    return Damaged("not a bitmap file");
  const uint8_t* f = file.data();
  const uint32_t pixels_at = Le32(f + 10);
  const uint32_t info_size = Le32(f + 14);
  if (info_size < kInfoHeader) return Damaged("unsupported bitmap header");
  if (size < kFileHeader + uint64_t(info_size)) return Damaged("file ends inside the header");

  const uint8_t* info = f + kFileHeader;
  const int32_t width = int32_t(Le32(info + 4));
  const int32_t stored_height = int32_t(Le32(info + 8));
  const uint16_t planes = Le16(info + 12);
  const uint16_t bits = Le16(info + 14);
  const uint32_t compression = Le32(info + 16);
  const uint32_t colours_used = Le32(info + 32);
  if (width <= 0 || stored_height == 0 || stored_height == INT32_MIN)
    return Damaged("invalid image size");
  if (planes != 1) return Damaged("invalid number of planes");
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
    return Damaged("invalid number of bits per pixel");

  DibLoad load;
  load.status = DibStatus::kLoaded;
  Dib& dib = load.dib;
  dib.width = width;
  dib.height = stored_height < 0 ? -stored_height : stored_height;
  dib.bits_per_pixel = bits;
  const uint64_t row_bytes = (uint64_t(width) * bits + 31) / 32 * 4;
  const uint64_t image_bytes = row_bytes * uint64_t(dib.height);
  const uint64_t table_at = kFileHeader + uint64_t(info_size);
  if (pixels_at < table_at || pixels_at > size)
    return Damaged("pixel data offset outside the file");
  if (image_bytes > size - pixels_at && (compression == kBiRgb || compression == kBiBitfields))
    return Damaged("pixel data runs past the end of the file");
  dib.row_bytes = uint32_t(row_bytes);
  // Only the formats a handheld bitmap is made from are read further; for the others the
  // header is all a caller looks at.
  if (bits != 1 && bits != 24) return load;
  if (compression != kBiRgb) return Damaged("compressed pixel data");

  if (bits == 1) {
    const uint64_t colours = colours_used ? colours_used : 2;
    if (colours >= 2 && table_at + 8 <= pixels_at) {
      dib.dark_is_one = Luma(f + table_at + 4) < Luma(f + table_at);
    } else {
      dib.dark_is_one = false;  // the usual black-then-white table
    }
  }
  const uint8_t* rows = f + pixels_at;
  dib.pixels.resize(size_t(image_bytes));
  for (int32_t y = 0; y < dib.height; ++y) {
    // Top-down files keep the top row first; store bottom-up whatever the file did.
    const int32_t from = stored_height < 0 ? dib.height - 1 - y : y;
    std::copy_n(rows + size_t(from) * row_bytes, row_bytes,
                dib.pixels.begin() + ptrdiff_t(size_t(y) * row_bytes));
  }
  return load;
}

DibLoad LoadDib(const std::string& path) {
  std::string text;
  if (!nb::ReadWholeFile(path, &text)) {
    if (errno == ENOENT || errno == EACCES || errno == EISDIR) return DibLoad{};
    return Damaged("the file cannot be read");
  }
  return ParseDib(std::vector<uint8_t>(text.begin(), text.end()));
}

}  // namespace pdbdevice
