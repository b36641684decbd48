#include "conduits.h"

#include "desktop.h"
#include "hotsync/conduit_registry.h"
#include "pdbfile/bytes.h"
#include "platform/installation.h"
#include "platform/library.h"
#include "platform/os.h"

namespace hotsync {
namespace {

bool Desk(Desktop* desktop) {
  std::string error;
  if (ReadDesktop(desktop, &error)) return true;
  Complain(error);
  return false;
}

// Loads the library as a synchronisation will; false with the reason.
bool LoadableConduit(const std::string& conduit, std::string* why) {
  void* lib = nb::LoadLibrary(conduit, why);
  if (!lib) return false;
  const bool has_entry = nb::GetProcAddress(lib, "OpenConduit") != nullptr;
  nb::FreeLibrary(lib);
  if (!has_entry) *why = "it does not export OpenConduit, so it is not a conduit";
  return has_entry;
}

}  // namespace

int ListConduits() {
  Desktop desktop;
  if (!Desk(&desktop)) return 1;
  auto entries = ListRegistrations(desktop.keys.user);
  if (entries.empty()) Say("no conduits registered");
  for (const ConduitRegistration& e : entries)
    Say(nb::pdb::FourCCText(e.creator) + "\t" + e.name + "\t" + e.conduit + "\t" + e.key);
  return 0;
}

int AddConduit(const std::string& creator, std::string conduit, const std::string& name) {
  if (conduit.empty()) {
    conduit = nb::LibraryDir() + "/syncconduit.so";
  } else if (conduit[0] != '/' && !(conduit.size() > 1 && conduit[1] == ':')) {
    conduit = nb::AbsolutePath(conduit);
  }
  if (!nb::IsRegularFile(nb::LibraryFile(conduit))) {
    Complain("there is no conduit library " + nb::LibraryFile(conduit));
    return 1;
  }
  Desktop desktop;
  if (!Desk(&desktop)) return 1;
  std::string why;
  if (!LoadableConduit(conduit, &why)) {
    Complain("cannot register " + nb::LibraryFile(conduit) + ": " + why);
    return 1;
  }
  ConduitRegistration entry;
  entry.conduit = conduit;
  entry.creator = nb::pdb::FourCC(creator.c_str());
  entry.name = name;
  std::string error;
  if (!WriteRegistration(desktop.keys.user, entry, RegistrationKeyName(entry.creator), true,
                         HotSyncVersion(desktop.keys.machine), &error)) {
    Complain(error);
    return 1;
  }
  Say("registered " + conduit + " for '" + creator + "'");
  return 0;
}

int RemoveConduit(const std::string& creator) {
  Desktop desktop;
  if (!Desk(&desktop)) return 1;
  const uint32_t id = nb::pdb::FourCC(creator.c_str());
  bool found = false;
  for (const ConduitRegistration& e : ListRegistrations(desktop.keys.user))
    found = found || e.creator == id;
  if (!found) {
    Complain("no conduit is registered for '" + creator + "'");
    return 1;
  }
  std::string error;
  if (!RemoveRegistrations(desktop.keys.user, id, id, &error)) {
    Complain(error);
    return 1;
  }
  Say("removed the conduit registration of '" + creator + "'");
  return 0;
}

}  // namespace hotsync
