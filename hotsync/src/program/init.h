// "hotsync init": sets up a desktop for synchronisations. Values and files that are
// already right stay as they are, so running it again changes nothing. It makes no HotSync
// user: a handheld's first synchronisation makes its own, under the handheld's user name.
#pragma once

namespace hotsync {

// 0 when the desktop is ready, 1 after a failure (reported on standard error).
int RunInit();

}  // namespace hotsync
