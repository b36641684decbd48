// Conduit registrations: subkeys of the per-user Palm desktop key (HKEY_CURRENT_USER)
// holding Conduit, Creator, Directory, File0, Integrate, Module, Remote0 and Name. HotSync
// Manager runs the registered conduits in registry order; the hotsync program and the
// installer write the entries through this code. Failures come back as the installer's
// message texts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hotsync {

struct ConduitRegistration {
  std::string key;      // subkey name under the Palm key
  std::string conduit;  // path of the conduit library
  uint32_t creator = 0;
  std::string name;  // what HotSync shows
};

// The per-user Palm desktop key pair in use: the first whose per-user key exists of
// "Software\U.S. Robotics\Pilot Desktop" and "Software\Palm Computing\Pilot Desktop"
// (machine keys "SOFTWARE\U.S. Robotics\PalmPilot Desktop" and "SOFTWARE\Palm
// Computing\Pilot Desktop"); both empty when neither exists.
struct PalmKeys {
  std::string user;
  std::string machine;
};
PalmKeys FindPalmKeys();
// The pair a fresh desktop gets.
PalmKeys DefaultPalmKeys();
// Highest subkey "major.minor" of the machine key as major * 65536 + minor; 0 if none.
uint32_t HotSyncVersion(const std::string& machine_key);

// The key name the installer uses for a creator: "ApplicationNimbraEE" for 'QMNB',
// "ApplicationNimbraQTX0".."9" for 'QMN0'..'QMN9', else "ApplicationNimbra_OEM_<ID>".
std::string RegistrationKeyName(uint32_t creator);

// Creates or updates the entry of a creator: an existing "Application<n>" entry (any n,
// also beyond a gap that a removal left, lowest first) or, from HotSync 2.0 on, key_name
// holding that creator is updated; otherwise, when `create` is set, key_name (before 2.0
// the first free "Application<n>") is created. Without `create` a missing entry is not an error.
// The eight values are written in their fixed order.
bool WriteRegistration(const std::string& palm_key, const ConduitRegistration& entry,
                       const std::string& key_name, bool create, uint32_t hotsync_version,
                       std::string* error);

// Deletes every "Application*" entry whose Creator lies in low..high.
bool RemoveRegistrations(const std::string& palm_key, uint32_t low, uint32_t high,
                         std::string* error);

// Makes the entry under subkey `key` name the library `conduit`; nothing else changes.
bool SetRegistrationConduit(const std::string& palm_key, const std::string& key,
                            const std::string& conduit, std::string* error);

// The entries that name a conduit and a creator, in registry order.
std::vector<ConduitRegistration> ListRegistrations(const std::string& palm_key);

}  // namespace hotsync
