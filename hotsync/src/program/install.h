// What waits in a user's install folder goes onto the handheld after the conduits: each
// file becomes the database its header names, replacing one of that name.
#pragma once

#include <string>

#include "desktop.h"
#include "hotsync/usermgr.h"

namespace hotsync {

// Only for a user whose "Install<ID>" flag is 1. Installed files are removed; a file that
// is not a handheld database, or could not be written, stays and makes the result false.
// The flag is cleared unless a database is left to retry.
bool InstallWaitingFiles(const Desktop& desktop, const HsUserRecord& user,
                         const std::string& handheld_folder);

}  // namespace hotsync
