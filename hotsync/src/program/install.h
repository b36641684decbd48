// What waits in a user's install folder goes onto the handheld after the conduits: each
// file becomes the database its header names, replacing one of that name, written through
// the handheld interface as HotSync writes it.
#pragma once

#include <string>
#include <vector>

#include "desktop.h"
#include "dlp/handheld.h"
#include "hotsync/usermgr.h"
#include "sync_log.h"

namespace hotsync {

// Only for a user whose "Install<ID>" flag is 1. Installed files are removed; a file that
// is not a handheld database, or could not be written, stays and makes the result false.
// The flag is cleared unless a database is left to retry. Each file installed, and each
// that failed with its reason, goes into the synchronisation's log. When the handheld's link
// is lost, *link_lost is set and nothing more is tried.
bool InstallWaitingFiles(const Desktop& desktop, const HsUserRecord& user,
                         nb::dlp::Handheld& handheld, SyncLog& log, bool* link_lost);

// "hotsync install": copies handheld database files into the user's install folder and
// flags the user, as dropping them into the install folder of HotSync does. Nothing is
// queued when one of them is not a handheld database; false after a reported failure.
bool QueueForInstall(const Desktop& desktop, const HsUserRecord& user,
                     const std::vector<std::string>& files);

}  // namespace hotsync
