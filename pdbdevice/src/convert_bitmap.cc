#include "convert_bitmap.h"

#include <cstdio>

#include "bmp_file.h"
#include "messages.h"
#include "nbdither/nbdither.h"
#include "palm_bitmap.h"
#include "platform/library.h"
#include "platform/prefix.h"

namespace pdbdevice {
namespace {

void Report(MessageFn message, const std::string& text) {
  if (message) {
    message("%s", text.c_str());
  } else {
    ShowMessage(text);
  }
}

// The plug-in library and its object, released together on every way out.
class DitherPlugin {
 public:
  DitherPlugin(const std::string& path, MessageFn message) {
    library_ = nb::LoadLibrary(path);
    if (!library_) {
      Report(message, Format("Unable to convert bitmaps.\n\nThere is no NBDither Plug-in at "
                             "\"%s\".",
                             path.c_str()));
      return;
    }
    auto make = reinterpret_cast<NBDither_NewFn>(nb::GetProcAddress(library_, "NBDither_New"));
    destroy_ = reinterpret_cast<NBDither_DeleteFn>(nb::GetProcAddress(library_, "NBDither_Delete"));
    auto version = reinterpret_cast<NBDither_GetVersionFn>(
        nb::GetProcAddress(library_, "NBDither_GetVersion"));
    // A library without the version export reports as version 0.
    const uint32_t found = version ? version() : 0;
    if (!make || !destroy_ || found != kNBDitherVersion) {
      Report(message, Format("Unable to convert bitmaps.\n\nThe NBDither Plug-in \"%s\" is not "
                             "current version. Formwright expects version 0x%x, but the plugin "
                             "is version 0x%x.",
                             path.c_str(), kNBDitherVersion, found));
      return;
    }
    object_ = make();
    if (!object_) {
      Report(message,
             "Unable to process bitmaps.\n\nCannot create an instance of CNBDither object.");
    }
  }
  ~DitherPlugin() {
    if (object_) destroy_(object_);
    if (library_) nb::FreeLibrary(library_);
  }
  DitherPlugin(const DitherPlugin&) = delete;
  DitherPlugin& operator=(const DitherPlugin&) = delete;
  CNBDither* object() const { return object_; }

 private:
  void* library_ = nullptr;
  CNBDither* object_ = nullptr;
  NBDither_DeleteFn destroy_ = nullptr;
};

// "%s-%d" of the name, keeping drive, folder and extension.
std::string DepthPath(const std::string& path, int depth) {
  const size_t sep = path.find_last_of("\\/:");
  const size_t name_at = sep == std::string::npos ? 0 : sep + 1;
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < name_at) dot = path.size();
  char name[32];
  std::snprintf(name, sizeof name, "-%d", depth);
  return path.substr(0, dot) + name + path.substr(dot);
}

bool TooLarge(int depth, int32_t width, int32_t height) {
  return width > kMaxBitmapSide || height > kMaxBitmapSide ||
         BitmapSize(depth, width, height) > kMaxBitmapSize;
}

}  // namespace

bool ConvertBitmapFileWith(const std::string& dither_library, const std::string& bitmap_path,
                           const BitmapSize2D* target, std::vector<uint8_t>* family,
                           MessageFn message) {
  family->clear();
  DitherPlugin plugin(dither_library, message);
  if (!plugin.object()) return false;

  std::vector<std::vector<uint8_t>> built;
  int32_t file_width = 0, file_height = 0, width = 0, height = 0;
  for (int depth : {1, 2, 4, 8, 16}) {
    const std::string path = depth == 1 ? bitmap_path : DepthPath(bitmap_path, depth);
    DibLoad load = LoadDib(nb::MapPath(path));
    if (depth == 1) {
      if (load.status == DibStatus::kMissing) {
        Report(message, std::string("Unable to process bitmaps") + ".\n\nB&W bitmap file \"" +
                            path + "\" is missing.");
        break;
      }
      if (load.status == DibStatus::kDamaged) {
        Report(message, Format("Unable to process bitmaps.\n\nBitmap file \"%s\" is damaged "
                               "(%s).",
                               path.c_str(), load.reason.c_str()));
        break;
      }
      if (load.dib.bits_per_pixel != 1) {
        Report(message, std::string("Unable to process bitmap") + ".\n\nBitmap file \"" + path +
                            "\" must be black and white (\"Monochrome Bitmap\" format).");
        break;
      }
      file_width = load.dib.width;
      file_height = load.dib.height;
      width = target ? target->width : file_width;
      height = target ? target->height : file_height;
      if (width <= 0 || height <= 0 || TooLarge(1, width, height)) {
        Report(message, Format("Unable to process bitmap.\n\nBitmap file \"%s\" is too large "
                               "for a handheld bitmap [W:%d x H:%d].",
                               path.c_str(), width, height));
        break;
      }
      std::vector<uint8_t> bitmap = NewBitmap(1, width, height);
      FillMonochrome(load.dib, width, height, bitmap.data() + kBitmapHeaderSize);
      built.push_back(std::move(bitmap));
      continue;
    }

    if (load.status == DibStatus::kMissing) continue;
    if (load.status == DibStatus::kDamaged) {
      Report(message, Format("Warning: The bitmap file \"%s\" is damaged (%s). This bitmap will "
                             "not be included in table.",
                             path.c_str(), load.reason.c_str()));
      continue;
    }
    if (load.dib.bits_per_pixel != 24) {
      Report(message, std::string("Warning: The bitmap file \"") + path +
                          "\" is not \"24-bit Bitmap\" format. This bitmap will notbe included "
                          "in table.");
      continue;
    }
    if (load.dib.width != file_width || load.dib.height != file_height) {
      Report(message, Format("Warning: The dimension of the bitmap in \"%s\" must be the same "
                             "as the corresponding black and white bitmap image [W:%d x "
                             "H:%d].\n\nThis bitmap will not be included in table.",
                             path.c_str(), file_width, file_height));
      continue;
    }
    if (TooLarge(depth, width, height)) {
      Report(message, Format("Warning: The bitmap file \"%s\" is too large for a handheld "
                             "bitmap. This bitmap will not be included in table.",
                             path.c_str()));
      continue;
    }
    std::vector<uint8_t> bitmap = NewBitmap(depth, width, height);
    const uint32_t row_bytes = RowBytes(depth, width);
    uint32_t size = row_bytes * uint32_t(height);
    if (plugin.object()->Reduce(load.dib.pixels.data(), load.dib.width, load.dib.height,
                                int32_t(load.dib.row_bytes), width, height, int32_t(row_bytes),
                                depth, &size, bitmap.data() + kBitmapHeaderSize)) {
      built.push_back(std::move(bitmap));
    }
  }

  if (built.empty()) {
    Report(message, "Unable to process bitmap.\n\nNone of the bitmap specified is valid.");
    return false;
  }
  *family = ChainFamily(built);
  return true;
}

}  // namespace pdbdevice
