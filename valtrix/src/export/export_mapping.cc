#include "export/export_mapping.h"

namespace valtrix {

bool RuleApplies(FormRule rule, std::string_view form) {
  switch (rule) {
    case FormRule::kAlways:
      return true;
    case FormRule::kOnlyCond:
      return form == "COND";
    case FormRule::kNotCond:
      return form != "COND";
    case FormRule::kOnly704:
      return form == "704";
  }
  return false;
}

std::span<const ExportWriterMap> ExportWriters() {
  static const ExportWriterMap writers[] = {
      {"WriteSubject", "AprSubj", SubjectMap()},
      {"WriteNeighborhood", "AprHood", NeighborhoodMap()},
      {"WriteSite", "AprSite", SiteMap()},
      {"WriteRoomList", "AprRmCt", RoomListMap()},
      {"WriteDescription1", "AprDsc1", Description1Map()},
      {"WriteDescription2", "AprDsc2", Description2Map()},
      {"WriteDescription3", "AprDsc3", Description3Map()},
      {"WriteConditions", "AprVC", ConditionsMap()},
  };
  return writers;
}

}  // namespace valtrix
