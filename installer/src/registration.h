// The installer's registry steps: the conduit's HotSync registrations for the runtime's
// standard creator IDs or for one application, and their removal. The entries are written
// by the one conduit-registry library the hotsync program uses too. Each step reports
// through the installer's messages and returns false when it failed.
#pragma once

#include <cstdint>
#include <string>

namespace installer {

// The conduit path: a path with neither drive nor leading separator lies in the system
// folder; the result is absolute. Empty stays empty.
std::string ResolveConduitPath(const std::string& path);

struct RegistrationSettings {
  std::string conduit;  // resolved
  std::string name;     // what HotSync shows
};

bool CreateStandardEntries(const RegistrationSettings& settings);
bool CreateEntry(const RegistrationSettings& settings, const std::string& id);
bool RemoveStandardEntries();
bool RemoveEntries(const std::string& id);

}  // namespace installer
