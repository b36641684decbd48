// The colour reduction behind CNBDither::Reduce, free of the plug-in object so that its
// argument checks and pixel formats sit in one place.
#pragma once

#include <cstdint>

namespace nbdither {

struct SourceImage {
  const uint8_t* pixels;  // bottom row first, blue-green-red
  int32_t width, height, row_bytes;
};

struct TargetImage {
  uint8_t* pixels;  // top row first
  int32_t width, height, row_bytes;
  uint32_t room;  // bytes available at pixels
};

// False, with nothing written, when an argument is out of range.
bool ReduceImage(const SourceImage& source, const TargetImage& target, int32_t depth);

}  // namespace nbdither
