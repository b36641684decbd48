// "hotsync init": sets up a desktop for synchronisations. Values and files that are
// already right stay as they are, so running it again changes nothing.
#pragma once

#include <string>

namespace hotsync {

struct InitOptions {
  std::string user = "HotSync User";  // made when the desktop has no HotSync user
  bool user_given = false;            // then made unless a user of that name exists
};

// 0 when the desktop is ready, 1 after a failure (reported on standard error).
int RunInit(const InitOptions& options);

}  // namespace hotsync
