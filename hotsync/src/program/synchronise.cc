#include "synchronise.h"

#include <filesystem>
#include <set>

#include "handheld.h"
#include "hotsync/conduit.h"
#include "hotsync/log.h"
#include "hotsync/sync.h"
#include "install.h"
#include "log_view.h"
#include "pdbfile/bytes.h"
#include "platform/library.h"
#include "platform/prefix.h"
#include "platform/ui.h"
#include "sync_log.h"
#include "user_list.h"

namespace hotsync {
namespace {

// The desktop user of the handheld: by its user ID, or for a handheld that has none yet
// by its user name, made when missing. A fresh ID is written back to the handheld.
bool HandheldUser(const Desktop& desktop, Handheld& handheld, HsUserRecord* user,
                  std::string* error) {
  auto users = UserList::Open(desktop, error);
  if (!users) return false;
  const uint32_t id = handheld.user_id();
  bool found = id ? users->FindById(id, user) : users->FindByName(handheld.user_name(), user);
  if (!found) {
    if (!users->Add(handheld.user_name(), id, user, error)) {
      *error = "cannot make the HotSync user of the handheld: " + *error;
      return false;
    }
    Say("HotSync: new HotSync user \"" + std::string(user->name) + "\" (ID " +
        std::to_string(user->id) + ")");
  }
  return id != 0 || handheld.SetUser(handheld.user_name(), user->id, error);
}

std::set<uint32_t> CreatorsOn(const Handheld& handheld) {
  std::set<uint32_t> creators;
  for (const DatabaseInfo& db : handheld.List()) creators.insert(db.creator);
  return creators;
}

void Progress(const char* text) {
  if (text) Say(std::string("  ") + text);
}

// Loads the conduit, calls OpenConduit once and releases it; true when it returned 0.
bool RunConduit(const ConduitRegistration& entry, const HsUserRecord& user, SyncLog& log) {
  const std::string label =
      "conduit \"" + entry.name + "\" for '" + nb::pdb::FourCCText(entry.creator) + "'";
  Say("HotSync: " + label + " (" + entry.conduit + ")");
  std::string why;
  void* lib = nb::LoadLibrary(entry.conduit, &why);
  if (!lib) {
    log.Problem("cannot load the " + label + ": " + why);
    return false;
  }
  auto open = reinterpret_cast<OpenConduitFn>(nb::GetProcAddress(lib, "OpenConduit"));
  long result = kConduitFailed;
  if (!open) {
    log.Problem("the " + label + " (" + entry.conduit + ") has no OpenConduit");
  } else {
    HsSyncProperties props{};
    props.sync_type = 0;
    props.creator = entry.creator;
    std::string(user.name).copy(props.user_name, sizeof props.user_name - 1);
    std::string(user.folder).copy(props.local_folder, sizeof props.local_folder - 1);
    props.user_id = user.id;
    result = open(Progress, &props);
    if (result != 0) log.Problem("the " + label + " failed (" + std::to_string(result) + ")");
  }
  nb::FreeLibrary(lib);
  Say("HotSync: " + label + (result == 0 ? " done" : " failed (" + std::to_string(result) + ")"));
  return result == 0;
}

// Nobody may be at the desktop: a box raised by anything loaded here closes itself after
// the time the conduit gives its own error box.
constexpr int kUnattendedSeconds = 10;

class UnattendedScope {
 public:
  UnattendedScope() : outer_(nb::ui::Unattended()) { nb::ui::SetUnattended(kUnattendedSeconds); }
  ~UnattendedScope() { nb::ui::SetUnattended(outer_); }

 private:
  int outer_;
};

}  // namespace

int Synchronise(const std::string& handheld_folder, SyncLock::WhenBusy busy) {
  UnattendedScope unattended;
  Desktop desktop;
  std::string error;
  if (!ReadDesktop(&desktop, &error)) {
    Complain(error);
    return 1;
  }
  auto lock = SyncLock::Take(busy, &error);
  if (!lock) {
    Complain(error);
    return 1;
  }
  SyncLog log(desktop);
  if (!log.usable()) {
    Complain(log.error());
    return 1;
  }
  std::error_code ec;
  const std::string folder = std::filesystem::absolute(handheld_folder, ec).lexically_normal();
  auto handheld = Handheld::Open(folder, &error);
  HsUserRecord user{};
  if (!handheld || !HandheldUser(desktop, *handheld, &user, &error)) {
    // No user to log for: the desktop's own log says why.
    log.Begin(DesktopLogFile(desktop), handheld ? handheld->user_name() : "", folder);
    log.Problem(error);
    log.End(false);
    return 1;
  }
  Say("HotSync: handheld " + folder + " of \"" + handheld->user_name() + "\"");
  SetLastUserId(desktop, user.id);
  Say("HotSync: user \"" + std::string(user.name) + "\" (ID " + std::to_string(user.id) + ")");
  log.Begin(LogFile(desktop, user), user.name, folder);
  std::vector<std::string> problems;
  handheld->List(&problems);
  for (const std::string& p : problems) log.Problem("not a usable database file: " + p);

  bool ok = true;
  {
    HotSyncLibrary sync_lib(desktop, kSyncLibrary);
    auto begin = sync_lib.Get<SyncBeginSessionFn>("SyncBeginSession");
    auto end = sync_lib.Get<SyncEndSessionFn>("SyncEndSession");
    auto yields = sync_lib.Get<SyncYieldCountFn>("SyncYieldCount");
    if (!begin || !end || !yields) {
      log.Problem(sync_lib.error());
      return 1;
    }
    if (int32_t r = begin(folder.c_str()); r != 0) {
      log.Problem("cannot start a synchronisation with the handheld (" + std::to_string(r) + ")");
      return 1;
    }
    for (const ConduitRegistration& entry : ListRegistrations(desktop.keys.user)) {
      // What the conduits before it did counts: they may have made that creator's first
      // database.
      if (!CreatorsOn(*handheld).count(entry.creator)) {
        Say("HotSync: no database of '" + nb::pdb::FourCCText(entry.creator) +
            "' on the handheld; conduit \"" + entry.name + "\" not called");
        continue;
      }
      ok = RunConduit(entry, user, log) && ok;
    }
    if (int32_t r = end(); r != 0) {
      log.Problem("the handheld did not take every change (" + std::to_string(r) + ")");
      ok = false;
    }
    if (uint32_t n = yields())
      Say("HotSync: the handheld link was kept alive " + std::to_string(n) +
          " times while desktop programs worked");
    ok = InstallWaitingFiles(desktop, user, folder, log) && ok;
    log.End(ok);
  }
  Say(ok ? "HotSync: synchronisation complete" : "HotSync: synchronisation finished with errors");
  return ok ? 0 : 1;
}

}  // namespace hotsync
