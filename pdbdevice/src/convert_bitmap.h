// ConvertBitmapFile: a bitmap file set (folder\name.ext, 1 bit per pixel, and the optional
// 24-bit folder\name-2.ext ... name-16.ext) becomes one handheld bitmap family of depths
// 1, 2, 4, 8 and 16, the deeper ones reduced by the NBDither plug-in. Every problem is
// reported to the message function (printf-style, called as message("%s", text)), or in
// a message box when there is none.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pdbdevice {

using MessageFn = void (*)(const char* format, ...);

struct BitmapSize2D {
  int32_t width, height;
};

// The plug-in at the runtime's Bin\NBDither.dll. False, with *family empty, when no
// bitmap could be built.
bool ConvertBitmapFile(const std::string& bitmap_path, const BitmapSize2D* target,
                       std::vector<uint8_t>* family, MessageFn message);

// The same with the dithering plug-in at dither_library (a Windows or POSIX path).
bool ConvertBitmapFileWith(const std::string& dither_library, const std::string& bitmap_path,
                           const BitmapSize2D* target, std::vector<uint8_t>* family,
                           MessageFn message);

// Where ConvertBitmapFile looks for the plug-in.
std::string DitherLibraryPath();

}  // namespace pdbdevice
