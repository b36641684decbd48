// The two install steps: the runtime engine's .PRC files through the chosen HotSync
// user's install folder, and the script's applications and tables through the command
// queue. Each shows its own messages.
#pragma once

#include "command_line.h"
#include "script.h"

namespace installer {

// False when the engine dialog closed as cancelled; the run then ends.
bool InstallEngine(const Options& options, const Script& script);

// False when nothing was queued or the installation failed; a failed one takes back
// what it queued and the conduit has not yet taken.
bool InstallApplications(const Options& options, const Script& script);

}  // namespace installer
