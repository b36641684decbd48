#include "tray_status.h"

#include "form.h"

namespace valtrix {

namespace {

struct StageText {
  const char* stage;
  const char* doing;
};

constexpr StageText kDoing[] = {
    {kStageSettingsPending, "settings from the handheld"},
    {kStageTablesUp, "tables from the handheld"},
    {kStageExported, "exporting appraisals"},
    {kStageImported, "importing appraisals"},
    {kStageTablesDown, "tables to the handheld"},
};

constexpr char kName[] = "Valtrix - ";

}  // namespace

TrayStatus StatusFor(const std::string& stage, const std::string& stopped_at) {
  if (stage == kStageEnd) {
    return {std::string(kName) + "idle; last synchronisation " +
                (stopped_at.empty() ? "completed" : "stopped at stage " + stopped_at),
            false};
  }
  // The rest of a failed synchronisation runs without us until its end arrives.
  if (!stopped_at.empty())
    return {std::string(kName) + "synchronisation stopped at stage " + stopped_at, true};
  for (const StageText& s : kDoing)
    if (stage == s.stage) return {std::string(kName) + "synchronising: " + s.doing, true};
  return {std::string(kName) + "idle", false};
}

}  // namespace valtrix
