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

std::string LastSyncText(const LastSync& last) {
  std::string text = "Last synchronisation";
  if (!last.ran) return text + ": none since the start";
  if (!last.ended.empty()) text += " (" + last.ended + ")";
  if (!last.stopped_at.empty())
    return text + " stopped at stage " + last.stopped_at + ": " + last.failure;
  return text + ": exported " + std::to_string(last.exported) + ", imported " +
         std::to_string(last.imported);
}

}  // namespace valtrix
