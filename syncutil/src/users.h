// The bound user manager of this process.
#pragma once

#include "syncutil/syncutil.h"

namespace syncutil {

// Initialises the user manager when it is not yet; false when it cannot be.
bool EnsureUserManager();
void ShutdownUserManager();

}  // namespace syncutil
