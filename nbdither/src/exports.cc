// The plug-in object and the library's three exports.
#include <new>

#include "nbdither/nbdither.h"
#include "reduce.h"

namespace {

class CNBDitherImpl final : public CNBDither {
 public:
  bool SupportsDepth(int32_t depth) override {
    return depth == 2 || depth == 4 || depth == 8 || depth == 16;
  }

  int32_t Reduce(const uint8_t* source, int32_t source_width, int32_t source_height,
                 int32_t source_row_bytes, int32_t target_width, int32_t target_height,
                 int32_t target_row_bytes, int32_t depth, uint32_t* target_size,
                 uint8_t* target) override {
    if (!target_size) return 0;
    const nbdither::SourceImage s{source, source_width, source_height, source_row_bytes};
    const nbdither::TargetImage t{target, target_width, target_height, target_row_bytes,
                                  *target_size};
    if (!nbdither::ReduceImage(s, t, depth)) return 0;
    *target_size = uint32_t(target_row_bytes) * uint32_t(target_height);
    return 1;
  }
};

}  // namespace

NBDITHER_API CNBDither* NBDither_New() { return new (std::nothrow) CNBDitherImpl; }

NBDITHER_API void NBDither_Delete(CNBDither* object) { delete static_cast<CNBDitherImpl*>(object); }

NBDITHER_API uint32_t NBDither_GetVersion() { return kNBDitherVersion; }
