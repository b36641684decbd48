#include "synchronise.h"

#include <functional>
#include <set>

#include "handheld.h"
#include "hotsync/conduit.h"
#include "hotsync/log.h"
#include "hotsync/sync.h"
#include "install.h"
#include "log_view.h"
#include "pdbfile/bytes.h"
#include "platform/library.h"
#include "platform/os.h"
#include "platform/prefix.h"
#include "platform/ui.h"
#include "sync_log.h"
#include "user_list.h"

namespace hotsync {
namespace {

using nb::dlp::Status;

// The desktop user of the handheld: by its user ID, or for a handheld without one by its
// user name; a handheld without a user gets the one the options name or the desktop's only
// one. A user the desktop does not know is made when the options admit new users.
bool HandheldUser(const Desktop& desktop, const nb::dlp::UserInfo& handheld,
                  const SessionOptions& options, HsUserRecord* user, bool* made,
                  std::string* error) {
  auto users = UserList::Open(desktop, error);
  if (!users) return false;
  std::string name = handheld.user_name;
  bool found = false;
  if (handheld.user_id != 0) {
    found = users->FindById(handheld.user_id, user);
  } else if (!name.empty()) {
    found = users->FindByName(name, user);
  } else if (!options.user.empty()) {
    name = options.user;
    found = users->FindByName(name, user);
  } else {
    const std::vector<HsUserRecord> all = users->All();
    if (all.size() != 1) {
      *error = "the handheld has no user yet and this desktop has " +
               (all.empty() ? std::string("no HotSync user")
                            : std::to_string(all.size()) + " HotSync users") +
               " to give it; name the user for it";
      return false;
    }
    *user = all[0];
    return true;
  }
  if (found) return true;
  if (!options.admit_new_users) {
    *error = "\"" + name + "\" is not a HotSync user of this desktop, and this desktop " +
             "admits no new users";
    return false;
  }
  if (!users->Add(name, handheld.user_id, user, error)) {
    *error = "cannot make the HotSync user of the handheld: " + *error;
    return false;
  }
  Say("HotSync: new HotSync user \"" + std::string(user->name) + "\" (ID " +
      std::to_string(user->id) + ")");
  *made = true;
  return true;
}

// The creators of the handheld's databases, its list read page by page.
Status CreatorsOn(nb::dlp::Handheld& handheld, std::set<uint32_t>* creators) {
  std::vector<nb::dlp::DbInfo> page;
  for (uint32_t start = 0; start <= 0xFFFF;) {
    Status s = handheld.ReadDbList(uint16_t(start), &page);
    if (s == nb::dlp::kErrNotFound || (s == nb::dlp::kOk && page.empty())) break;
    if (s != nb::dlp::kOk) return s;
    for (const nb::dlp::DbInfo& db : page) creators->insert(db.creator);
    start = uint32_t(page.back().index) + 1;
  }
  return nb::dlp::kOk;
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
    log.Conduit(&entry);
    result = open(Progress, &props);
    log.Conduit(nullptr);
    if (result != 0) log.Problem("the " + label + " failed (" + std::to_string(result) + ")");
  }
  nb::FreeLibrary(lib);
  Say("HotSync: " + label + (result == 0 ? " done" : " failed (" + std::to_string(result) + ")"));
  log.Summary((result == 0 ? "OK " : "Failed ") + entry.name);
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

// Runs `session` with the desktop, its synchronisation lock and a HotSync log in hand.
int WithDesktop(SyncLock::WhenBusy busy,
                const std::function<int(const Desktop&, SyncLog&)>& session) {
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
  return session(desktop, log);
}

int Finish(bool ok) {
  Say(ok ? "HotSync: synchronisation complete" : "HotSync: synchronisation finished with errors");
  return ok ? 0 : 1;
}

// The conduits, each with the Sync library working on the handheld; false with *lost set
// when the link went.
bool RunConduits(const Desktop& desktop, nb::dlp::Handheld& handheld, const HsUserRecord& user,
                 SyncLog& log, std::string* lost) {
  HotSyncLibrary sync_lib(desktop, kSyncLibrary);
  auto begin = sync_lib.Get<SyncBeginHandheldFn>("SyncBeginHandheld");
  auto end = sync_lib.Get<SyncEndSessionFn>("SyncEndSession");
  auto yields = sync_lib.Get<SyncYieldCountFn>("SyncYieldCount");
  if (!begin || !end || !yields) {
    log.Problem(sync_lib.error());
    return false;
  }
  if (int32_t r = begin(&handheld); r != 0) {
    log.Problem("cannot start a synchronisation with the handheld (" + std::to_string(r) + ")");
    return false;
  }
  bool ok = true;
  for (const ConduitRegistration& entry : ListRegistrations(desktop.keys.user)) {
    // What the conduits before it did counts: they may have made that creator's first
    // database.
    std::set<uint32_t> creators;
    Status s = CreatorsOn(handheld, &creators);
    if (s == nb::dlp::kOk && !creators.count(entry.creator)) {
      Say("HotSync: no database of '" + nb::pdb::FourCCText(entry.creator) +
          "' on the handheld; conduit \"" + entry.name + "\" not called");
      continue;
    }
    if (s == nb::dlp::kOk) s = handheld.OpenConduit();
    if (s == nb::dlp::kLinkLost) {
      *lost = "before the conduit \"" + entry.name + "\"";
      break;
    }
    if (s != nb::dlp::kOk) {
      log.Problem("the handheld refused the conduit \"" + entry.name +
                  "\": " + nb::dlp::StatusText(s));
      ok = false;
      continue;
    }
    ok = RunConduit(entry, user, log) && ok;
  }
  if (int32_t r = end(); r == kSyncErrLinkLost) {
    if (lost->empty()) *lost = "closing what the conduits left open";
  } else if (r != 0) {
    log.Problem("the handheld did not take every change (" + std::to_string(r) + ")");
    ok = false;
  }
  if (uint32_t n = yields())
    Say("HotSync: the handheld link was kept alive " + std::to_string(n) +
        " times while desktop programs worked");
  return ok && lost->empty();
}

int Session(const Desktop& desktop, SyncLog& log, nb::dlp::Handheld& handheld,
            const SessionOptions& options) {
  std::string error;
  nb::dlp::UserInfo info;
  nb::dlp::SysInfo sys;
  Status s = handheld.ReadUserInfo(&info);
  if (s == nb::dlp::kOk) s = handheld.ReadSysInfo(&sys);
  HsUserRecord user{};
  bool new_user = false;
  uint32_t session = 0;
  if (s != nb::dlp::kOk || !HandheldUser(desktop, info, options, &user, &new_user, &error) ||
      !StartSessionNumber(desktop, &session, &error)) {
    if (s == nb::dlp::kLinkLost) {
      error = "the handheld link was lost: reading its user";
    } else {
      if (s != nb::dlp::kOk)
        error = "the handheld did not tell its user: " + nb::dlp::StatusText(s);
      // The handheld shows why in its own log.
      if (handheld.AddSyncLogEntry(error + "\n") != nb::dlp::kLinkLost)
        handheld.EndOfSync(nb::dlp::kSyncOther);
    }
    // No user to log for: the desktop's own log says why.
    log.Begin(DesktopLogFile(desktop), info.user_name, options.where);
    log.Problem(error);
    log.End(false);
    return Finish(false);
  }
  Say("HotSync: handheld " + options.where + " of \"" + info.user_name + "\"");
  SetLastUserId(desktop, user.id);
  Say("HotSync: user \"" + std::string(user.name) + "\" (ID " + std::to_string(user.id) + ")");
  log.Begin(LogFile(desktop, user), user.name, options.where);
  if (new_user)
    log.Note("a handheld this desktop did not know: new HotSync user \"" + std::string(user.name) +
             "\" (ID " + std::to_string(user.id) + ")");
  auto lost = [&](const std::string& what) {
    log.Problem("the handheld link was lost: " + what);
    log.End(false);
    return Finish(false);
  };

  std::string lost_at;
  bool ok = RunConduits(desktop, handheld, user, log, &lost_at);
  if (!lost_at.empty()) return lost(lost_at);
  bool link_lost = false;
  ok = InstallWaitingFiles(desktop, user, handheld, log, &link_lost) && ok;
  if (link_lost) return lost("installing");

  std::string text;
  for (const std::string& line : log.lines()) text += line + "\n";
  text += ok ? "HotSync completed\n" : "HotSync finished with errors\n";
  s = handheld.AddSyncLogEntry(text);
  if (s == nb::dlp::kOk) {
    nb::dlp::UserInfo after = info;
    uint8_t modify = nb::dlp::kModUserId | nb::dlp::kModLastSyncPc | nb::dlp::kModSyncDate;
    after.user_id = user.id;
    after.last_sync_pc = DesktopId(desktop);
    after.last_sync = HandheldNow();
    if (ok) after.successful_sync = after.last_sync;
    if (info.user_name.empty()) {
      after.user_name = user.name;
      modify |= nb::dlp::kModUserName;
    }
    s = handheld.WriteUserInfo(after, modify);
  }
  if (s == nb::dlp::kOk) s = handheld.EndOfSync(ok ? nb::dlp::kSyncNormal : nb::dlp::kSyncOther);
  if (s == nb::dlp::kLinkLost) return lost("ending the synchronisation");
  if (s != nb::dlp::kOk) {
    log.Problem("the handheld did not end the synchronisation cleanly: " + nb::dlp::StatusText(s));
    ok = false;
  } else if (!NoteCleanEnd(desktop, session, &error)) {
    // Desktop programs then check what the handheld holds next time, as after a drop.
    log.Problem(error);
    ok = false;
  }
  log.End(ok);
  return Finish(ok);
}

}  // namespace

int SynchroniseHandheld(nb::dlp::Handheld& handheld, const SessionOptions& options,
                        SyncLock::WhenBusy busy) {
  return WithDesktop(busy, [&](const Desktop& desktop, SyncLog& log) {
    return Session(desktop, log, handheld, options);
  });
}

int Synchronise(const std::string& handheld_folder, SyncLock::WhenBusy busy) {
  const std::string folder = nb::AbsolutePath(handheld_folder);
  return WithDesktop(busy, [&](const Desktop& desktop, SyncLog& log) {
    std::string error;
    auto handheld = FolderHandheld::Open(folder, CommitAt::kClose, &error);
    if (!handheld) {
      log.Begin(DesktopLogFile(desktop), "", folder);
      log.Problem(error);
      log.End(false);
      return Finish(false);
    }
    handheld->SetReporter([&log](const std::string& text) { log.Problem(text); });
    SessionOptions options;
    options.where = folder;
    return Session(desktop, log, *handheld, options);
  });
}

}  // namespace hotsync
