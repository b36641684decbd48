// What the tray icon and its menu tell of the program: idle, the stage of a
// synchronisation, or how the last one ended. Pure: the form hands in its stage, any
// failure and what the last synchronisation did.
#pragma once

#include <string>

namespace valtrix {

struct TrayStatus {
  std::string tip;
  bool busy = false;
};

// `stage` is one of the form's stages; `stopped_at` the stage at which this or the last
// synchronisation failed, empty when it did not.
TrayStatus StatusFor(const std::string& stage, const std::string& stopped_at);

// What the last synchronisation of the application did, for the menu.
struct LastSync {
  bool ran = false;
  int exported = 0;        // appraisals written to the Inbox
  int imported = 0;        // appraisal files taken from the Outbox
  std::string stopped_at;  // the stage it failed at; empty when it did not
  std::string failure;     // why
  std::string ended;       // when, as shown
};
// "Last synchronisation (TIME): exported N, imported M", "... stopped at stage S: WHY",
// or "... none since the start".
std::string LastSyncText(const LastSync& last);

}  // namespace valtrix
