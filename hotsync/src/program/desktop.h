// Where HotSync Manager's things are on this desktop: the Palm desktop keys, the HotSync
// folder holding its libraries, the data folder holding the users, and the runtime's
// installation folder. Paths are Windows paths as the registry holds them.
#pragma once

#include <cstdint>
#include <string>

#include "hotsync/conduit_registry.h"

namespace hotsync {

struct Desktop {
  PalmKeys keys;
  std::string hotsync_path;  // Core\HotSyncPath
  std::string hotsync_dir;   // its folder; "C:\Palm" when the value is empty
  std::string data_dir;      // Core\Path
};

// False with the reason when HotSync is not set up ("hotsync init" does that).
bool ReadDesktop(Desktop* desktop, std::string* error);

// Joins with one backslash between the parts.
std::string JoinPath(const std::string& left, const std::string& right);

// The user whose log "hotsync log" shows by default; 0 before the first synchronisation.
uint32_t LastUserId(const Desktop& desktop);
void SetLastUserId(const Desktop& desktop, uint32_t id);
// This desktop's ID, which a handheld keeps as the desktop it last synchronised with;
// made on first use and kept in the registry.
uint32_t DesktopId(const Desktop& desktop);

// Standard output, flushed, so progress and log lines keep their order.
void Say(const std::string& line);
// Standard error, "hotsync: " in front.
void Complain(const std::string& line);

}  // namespace hotsync
