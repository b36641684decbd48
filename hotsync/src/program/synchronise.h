// One press of the HotSync button: the handheld's user is found or made, every registered
// conduit whose creator owns a database on the handheld runs in registry order, then the
// user's install folder goes onto the handheld. Progress goes to standard output, HotSync
// log lines to standard error.
#pragma once

#include <string>

namespace hotsync {

// 0 when every conduit returned 0 and everything waiting was installed, else 1.
int Synchronise(const std::string& handheld_folder);

}  // namespace hotsync
