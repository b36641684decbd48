// Windows bitmap files: the monochrome file read on its own, then as a bitmap set (the
// monochrome file and a 24-bit name-16 companion, packed as fuzz::Split describes) made
// into a handheld bitmap family through the real dithering plug-in.
#include <dlfcn.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "bmp_file.h"
#include "convert_bitmap.h"
#include "fuzz_input.h"
#include "palm_bitmap.h"

namespace {

void Quiet(const char*, ...) {}

// Loaded once for good: libFuzzer keeps the coverage counters of an instrumented library,
// and the conversion's own load and unload would otherwise unmap them.
std::string DitherLibrary() {
  const std::string path =
      (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "NBDither.so").string();
  if (!::dlopen(path.c_str(), RTLD_NOW | RTLD_NODELETE)) std::abort();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string dither = DitherLibrary();
  const auto [mono, deep] = fuzz::Split({data, size});
  const auto load = pdbdevice::ParseDib({mono.begin(), mono.end()});
  if (load.status == pdbdevice::DibStatus::kLoaded && load.dib.bits_per_pixel == 1) {
    // A small target size keeps each run fast while still cutting and padding the image.
    std::vector<uint8_t> pixels(pdbdevice::RowBytes(1, 40) * 40);
    pdbdevice::FillMonochrome(load.dib, 40, 40, pixels.data());
  }
  const std::string path = fuzz::WriteScratch("pic.bmp", mono);
  fuzz::WriteScratch("pic-16.bmp", deep);
  const pdbdevice::BitmapSize2D target{40, 40};
  std::vector<uint8_t> family;
  pdbdevice::ConvertBitmapFileWith(dither, path, &target, &family, Quiet);
  return 0;
}
