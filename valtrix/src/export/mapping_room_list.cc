#include <string>

#include "export/export_mapping.h"
#include "export/generated_steps.h"

namespace valtrix {
namespace {

using enum Conversion;

// AprRmCt: one block per level, its fields carrying the level's prefix and its keys the
// level's instance number.
struct Level {
  std::string_view prefix;
  std::string_view instance;
};
constexpr Level kLevels[] = {{"RCB_", "-1"}, {"RC1_", "1"}, {"RC2_", "2"}, {"RC3_", "3"}};

struct Room {
  std::string_view code;
  std::string_view key;
  Conversion conversion;
  std::string_view half_code = {};
};
constexpr Room kRooms[] = {
    {"FOY", "ROOM_FOYER", kNumber},    {"LIV", "ROOM_LIVING", kNumber},
    {"DIN", "ROOM_DINING", kNumber},   {"KIT", "ROOM_KITCHEN", kNumber},
    {"DEN", "ROOM_DEN", kNumber},      {"FAM", "ROOM_FAMILY_RM", kNumber},
    {"REC", "ROOM_REC_RM", kNumber},   {"BED", "ROOM_BEDROOMS", kNumber},
    {"FB", "ROOM_BATHS", kBath, "HB"}, {"LAUND", "ROOM_LAUNDRY", kNumber},
    {"OTHER", "ROOM_OTHER", kNumber},
};

}  // namespace

std::span<const ExportStep> RoomListMap() {
  static const GeneratedSteps* steps = [] {
    auto* g = new GeneratedSteps;
    for (const Level& level : kLevels) {
      const std::string prefix(level.prefix);
      for (const Room& room : kRooms) {
        ExportStep step{g->Keep(prefix + std::string(room.code)),
                        g->Keep(std::string(room.key) + "." + std::string(level.instance)),
                        room.conversion};
        if (!room.half_code.empty())
          step.half_field = g->Keep(prefix + std::string(room.half_code));
        g->Add(step);
      }
    }
    return g;
  }();
  return steps->steps;
}

}  // namespace valtrix
