// "hotsync conduits": lists, adds and removes conduit registrations. A conduit is
// registered only when its library loads and exports OpenConduit, so a synchronisation
// never meets a registration it cannot run.
#pragma once

#include <string>

namespace hotsync {

// Exit statuses: 0 done, 1 failed (reported on standard error).
int ListConduits();
// An empty `conduit` means the installation's syncconduit.so.
int AddConduit(const std::string& creator, std::string conduit, const std::string& name);
int RemoveConduit(const std::string& creator);

}  // namespace hotsync
