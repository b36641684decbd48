// One press of the HotSync button, the whole session through the handheld interface: the
// handheld's user is found among the desktop's users (or made), every registered conduit
// whose creator owns a database on the handheld runs in registry order, the user's install
// folder goes onto the handheld, the session's log lines and the user info go back to it,
// and EndOfSync ends it. Progress goes to standard output, HotSync log lines, every
// failure among them, to the HotSync log and standard error. One synchronisation per
// desktop at a time: `busy` says whether another one is waited for. A lost link ends the
// session with "the handheld link was lost: ..." in the log; the conduits stage their
// writes, so the desktop's files stay whole.
#pragma once

#include <string>

#include "dlp/handheld.h"
#include "sync_lock.h"

namespace hotsync {

struct SessionOptions {
  std::string where;  // how progress and the log name the handheld (its folder, its link)
  // A handheld user this desktop does not know becomes a new HotSync user; else the
  // session is refused (EndOfSync kSyncOther).
  bool admit_new_users = true;
  // The user a handheld without one gets; empty: the desktop's only user.
  std::string user;
};

// 0 when every conduit returned 0 and everything waiting was installed, else 1.
int SynchroniseHandheld(nb::dlp::Handheld& handheld, const SessionOptions& options,
                        SyncLock::WhenBusy busy);

// The virtual handheld in the folder, each database written as it is closed.
int Synchronise(const std::string& handheld_folder,
                SyncLock::WhenBusy busy = SyncLock::WhenBusy::kWait);

}  // namespace hotsync
