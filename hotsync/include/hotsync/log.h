// HotSync's log library stand-in, "HsLog20.dll" in the HotSync folder. Entries go to the
// log file of the user being synchronised (see SyncBeginSession of the hotsync program):
// "<data folder>\<user folder>\HotSync.Log", one line per entry:
//   "<activity>\t[YYYY-MM-DD HH:MM:SS ]<text>" (the time stamp only when asked).
#pragma once

#include <cstdint>

#define HS_LOG_API extern "C" __attribute__((visibility("default")))

constexpr const char kLogLibrary[] = "HsLog20.dll";

// Activities the system uses: 19 start, 20 success end, 21 failed end, -1 per command,
// 9, 13 and 17 plug-in and record problems.
using LogAddEntryFn = int32_t (*)(const char* text, int32_t activity, int32_t time_stamp);
// Stand-in only: the log file entries go to (null: standard error only).
using LogSetFileFn = int32_t (*)(const char* path);
// Stand-in only: the conduit now running, as "<name> (<creator>)", put in front of its start,
// done and failed entries (19 to 21) so they say which conduit they are; null when none runs.
using LogSetConduitFn = int32_t (*)(const char* label);

// Each entry is also echoed on standard error as "<lead><activity>: <text>".
constexpr const char kLogEchoLead[] = "  log ";
