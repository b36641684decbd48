// What waits in a user's install folder goes onto the handheld after the conduits: each
// file becomes the database its header names, replacing one of that name.
#pragma once

#include <string>

#include "desktop.h"
#include "hotsync/usermgr.h"

namespace hotsync {

// Installed files are removed; when none is left the user's "Install<ID>" flag is
// cleared. A file that cannot be installed stays and makes the result false.
bool InstallWaitingFiles(const Desktop& desktop, const HsUserRecord& user,
                         const std::string& handheld_folder);

}  // namespace hotsync
