// The parts that ask syncutil for the runtime's folder; kept apart so the rest of the
// plug-in builds and tests without the library.
#include "convert_bitmap.h"
#include "messages.h"
#include "syncutil/syncutil.h"

namespace pdbdevice {

std::string RuntimeFolder() {
  char dir[1040] = {};
  NB_GetNimbraDir(dir, sizeof dir);
  return dir;
}

std::string DitherLibraryPath() { return RuntimeFolder() + "Bin\\" + "NBDither" + ".dll"; }

bool ConvertBitmapFile(const std::string& bitmap_path, const BitmapSize2D* target,
                       std::vector<uint8_t>* family, MessageFn message) {
  return ConvertBitmapFileWith(DitherLibraryPath(), bitmap_path, target, family, message);
}

}  // namespace pdbdevice
