#include "registration.h"

#include "command_line.h"
#include "hotsync/conduit_registry.h"
#include "messages.h"
#include "script.h"
#include "syncutil/syncutil.h"

namespace installer {
namespace {

// The platform's system folder on this desktop.
constexpr char kSystemFolder[] = "C:\\windows\\system32";

std::string PalmKey() {
  char key[260];
  NB_GetPalmKey(key, sizeof key);
  return key;
}

// One entry; its failure message is shown here.
bool Write(const RegistrationSettings& settings, uint32_t creator, bool create) {
  hotsync::ConduitRegistration entry;
  entry.conduit = settings.conduit;
  entry.creator = creator;
  entry.name = settings.name;
  std::string error;
  if (hotsync::WriteRegistration(PalmKey(), entry, hotsync::RegistrationKeyName(creator), create,
                                 NB_GetHotSyncVersion(), &error))
    return true;
  ShowError(error);
  return false;
}

bool Remove(uint32_t low, uint32_t high) {
  std::string error;
  if (!hotsync::RemoveRegistrations(PalmKey(), low, high, &error)) {
    ShowError(error);
    return false;
  }
  ShowInfo("Handheld registry entries removed successfully.");
  return true;
}

}  // namespace

std::string ResolveConduitPath(const std::string& path) {
  if (path.empty()) return path;
  const bool drive = path.size() >= 2 && path[1] == ':';
  const bool rooted = path[0] == '\\' || path[0] == '/';
  return FullPath(drive || rooted ? path : std::string(kSystemFolder) + "\\" + path);
}

bool CreateStandardEntries(const RegistrationSettings& settings) {
  // The runtime's own entry is only brought up to date, never made.
  bool ok = Write(settings, CreatorNumber("QMNB"), false);
  for (char digit = '0'; ok && digit <= '9'; ++digit)
    ok = Write(settings, CreatorNumber(std::string("QMN") + digit), true);
  if (!ok) {
    ShowError("Could not create Handheld registry keys.");
    return false;
  }
  ShowInfo("Handheld registry entries created successfully.");
  return true;
}

bool CreateEntry(const RegistrationSettings& settings, const std::string& id) {
  if (!Write(settings, CreatorNumber(id), true)) return false;
  ShowInfo("Handheld registry entries created successfully.");
  return true;
}

bool RemoveStandardEntries() { return Remove(CreatorNumber("QMN0"), CreatorNumber("QMN9")); }

bool RemoveEntries(const std::string& id) { return Remove(CreatorNumber(id), CreatorNumber(id)); }

}  // namespace installer
