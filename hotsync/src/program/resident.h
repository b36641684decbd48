// The resident HotSync Manager: a window of class "KittyHawk" titled "HotSync Manager" on
// the message bus. "hotsync press" asks it to run one synchronisation and shows what it
// printed; a close request ends it.
#pragma once

#include <string>

namespace hotsync {

// Until closed; 1 when another HotSync Manager is running already.
int RunResident();
// The resident one's synchronisation result, 1 when it is not running.
int Press(const std::string& handheld_folder);

}  // namespace hotsync
