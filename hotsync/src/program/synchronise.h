// One press of the HotSync button: the handheld's user is found or made, every registered
// conduit whose creator owns a database on the handheld runs in registry order, then the
// user's install folder goes onto the handheld. Progress goes to standard output, HotSync
// log lines, every failure among them, to the HotSync log and standard error. One
// synchronisation per desktop at a time: `busy` says whether another one is waited for.
#pragma once

#include <string>

#include "sync_lock.h"

namespace hotsync {

// 0 when every conduit returned 0 and everything waiting was installed, else 1.
int Synchronise(const std::string& handheld_folder,
                SyncLock::WhenBusy busy = SyncLock::WhenBusy::kWait);

}  // namespace hotsync
