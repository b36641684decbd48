// The bitmap dithering plug-in NBDither.so: reduces a 24-bit device-independent bitmap to
// the pixel format of a handheld bitmap of depth 2 or 4 (grey levels, 0 = white), 8 (the
// handheld's system palette) or 16 (RGB 565, most significant byte first).
//
// The library exports exactly NBDither_New, NBDither_Delete and NBDither_GetVersion; a
// caller accepts it only when the version is kNBDitherVersion. The operations are reached
// by position: never reorder, insert or remove one. The object has no destructor logic of
// its own; it is freed only through NBDither_Delete.
#pragma once

#include <cstdint>

#define NBDITHER_API extern "C" __attribute__((visibility("default")))

class CNBDither {
 public:
  // 0: whether Reduce can produce this depth (2, 4, 8 and 16).
  virtual bool SupportsDepth(int32_t depth) = 0;

  // 1: writes target_height rows of target_row_bytes bytes, top row first, into target.
  // source holds source_height rows of source_row_bytes bytes (blue, green, red per
  // pixel), bottom row first, as a 24-bit bitmap file stores them. Pixels of the target
  // outside the source are white; bytes of a row past its last pixel are 0. Colours are
  // reduced with Floyd-Steinberg error diffusion. *target_size is the room in target on
  // entry and the bytes written on return. Returns 0 (and writes nothing) when an argument
  // is out of range or the room is too small, non-zero otherwise.
  virtual int32_t Reduce(const uint8_t* source, int32_t source_width, int32_t source_height,
                         int32_t source_row_bytes, int32_t target_width, int32_t target_height,
                         int32_t target_row_bytes, int32_t depth, uint32_t* target_size,
                         uint8_t* target) = 0;

 protected:
  ~CNBDither() = default;
};

using NBDither_NewFn = CNBDither* (*)();
using NBDither_DeleteFn = void (*)(CNBDither* object);
using NBDither_GetVersionFn = uint32_t (*)();

inline constexpr uint32_t kNBDitherVersion = 0x100;

namespace nbdither {

struct Rgb {
  uint8_t r, g, b;
};

// The handheld's 8-bit system palette: entries 0-214 the 6x6x6 colour cube without black
// (red slowest, green fastest, blue levels 255-153 first, then 102-0), 215-224 the extra
// greys, 225 silver, 226-229 maroon, purple, green and teal, 255 black; 230-254 are
// unassigned (black). Reduce uses only the assigned entries.
inline constexpr int kPaletteColours = 230;  // assigned entries before black
inline constexpr int kBlackIndex = 255;

constexpr Rgb SystemPalette(int index) {
  if (index < 0 || index >= kPaletteColours) return {0, 0, 0};
  if (index < 215) {
    const int half = index < 108 ? 0 : 1;
    const int local = index - 108 * half;
    return {uint8_t(255 - 51 * (local / 18)), uint8_t(255 - 51 * (local % 6)),
            uint8_t(255 - 51 * (3 * half + local % 18 / 6))};
  }
  constexpr uint8_t kGreys[] = {17, 34, 68, 85, 119, 136, 170, 187, 221, 238};
  if (index < 225) return {kGreys[index - 215], kGreys[index - 215], kGreys[index - 215]};
  constexpr Rgb kNamed[] = {
      {192, 192, 192}, {128, 0, 0}, {128, 0, 128}, {0, 128, 0}, {0, 128, 128}};
  return kNamed[index - 225];
}

}  // namespace nbdither
