// The resident HotSync Manager: a window of class "KittyHawk" titled "HotSync Manager" on
// the message bus. "hotsync press" asks it to run one synchronisation and shows what it
// printed; handhelds that come in over its links (link_listener.h) are synchronised as
// they come; a close request ends it.
#pragma once

#include <string>

#include "link_listener.h"

namespace hotsync {

// Until closed; 1 when another HotSync Manager is running already or a link cannot be
// listened on.
int RunResident(const LinkOptions& links = {});
// The resident one's synchronisation result, 1 when it is not running.
int Press(const std::string& handheld_folder);

}  // namespace hotsync
