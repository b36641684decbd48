// What waits in a user's install folder goes onto the handheld after the conduits: each
// file becomes the database its header names, replacing one of that name.
#pragma once

#include <string>
#include <vector>

#include "desktop.h"
#include "hotsync/usermgr.h"
#include "sync_log.h"

namespace hotsync {

// Only for a user whose "Install<ID>" flag is 1. Installed files are removed; a file that
// is not a handheld database, or could not be written, stays and makes the result false.
// The flag is cleared unless a database is left to retry. Each file installed, and each
// that failed with its reason, goes into the synchronisation's log.
bool InstallWaitingFiles(const Desktop& desktop, const HsUserRecord& user,
                         const std::string& handheld_folder, SyncLog& log);

// "hotsync install": copies handheld database files into the user's install folder and
// flags the user, as dropping them into the install folder of HotSync does. Nothing is
// queued when one of them is not a handheld database; false after a reported failure.
bool QueueForInstall(const Desktop& desktop, const HsUserRecord& user,
                     const std::vector<std::string>& files);

}  // namespace hotsync
