// hotsync: the HotSync Manager of this desktop. Sets the desktop up, keeps the HotSync
// users and conduit registrations, synchronises virtual handhelds and shows the logs.
#include <sys/stat.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "conduits.h"
#include "desktop.h"
#include "handheld.h"
#include "init.h"
#include "install.h"
#include "log_view.h"
#include "pdbfile/bytes.h"
#include "platform/cli.h"
#include "platform/os.h"
#include "platform/prefix.h"
#include "platform/ui_host.h"
#include "resident.h"
#include "sync_log.h"
#include "synchronise.h"
#include "user_list.h"

namespace hotsync {
namespace {

bool Desk(Desktop* desktop) {
  std::string error;
  if (ReadDesktop(desktop, &error)) return true;
  Complain(error);
  return false;
}

int ListUsers() {
  Desktop desktop;
  if (!Desk(&desktop)) return 1;
  std::string error;
  auto users = UserList::Open(desktop, &error);
  if (!users) return Complain(error), 1;
  auto all = users->All();
  if (all.empty()) Say("no HotSync users");
  for (const HsUserRecord& u : all)
    Say(std::to_string(u.id) + "\t" + u.name + "\t" + nb::MapPath(UserFolder(desktop, u)));
  return 0;
}

int AddUser(const std::string& name, uint32_t id) {
  Desktop desktop;
  if (!Desk(&desktop)) return 1;
  std::string error;
  auto users = UserList::Open(desktop, &error);
  HsUserRecord user{};
  if (!users || !users->Add(name, id, &user, &error)) return Complain(error), 1;
  Say("added the HotSync user \"" + std::string(user.name) + "\" (ID " + std::to_string(user.id) +
      ")");
  return 0;
}

// The named user, or else the user of the last synchronisation.
bool PickUser(const Desktop& desktop, const std::string& name, HsUserRecord* user) {
  std::string error;
  auto users = UserList::Open(desktop, &error);
  if (!users) return Complain(error), false;
  if (!name.empty()) {
    if (users->FindByName(name, user)) return true;
    Complain("no HotSync user \"" + name + "\"");
    return false;
  }
  if (users->FindById(LastUserId(desktop), user)) return true;
  Complain("no synchronisation yet; name a user with --user");
  return false;
}

int ShowLog(const std::string& name, bool last, bool raw) {
  Desktop desktop;
  if (!Desk(&desktop)) return 1;
  // The last synchronisation's log needs no user list: it may be what failed.
  std::string file = name.empty() ? LastLogFile(desktop) : "";
  HsUserRecord user{};
  if (file.empty()) {
    if (!PickUser(desktop, name, &user)) return 1;
    file = LogFile(desktop, user);
  }
  std::string text;
  if (!nb::ReadWholeFile(nb::MapPath(file), &text)) {
    Complain(user.name[0] ? "the HotSync user \"" + std::string(user.name) + "\" has no log yet"
                          : "there is no log " + nb::MapPath(file));
    return 1;
  }
  std::cout << (raw ? text : ReadableLog(text, last)) << std::flush;
  return 0;
}

int QueueFiles(const std::string& name, const std::vector<std::string>& files) {
  Desktop desktop;
  HsUserRecord user{};
  if (!Desk(&desktop) || !PickUser(desktop, name, &user)) return 1;
  return QueueForInstall(desktop, user, files) ? 0 : 1;
}

int ListHandheld(const std::string& folder) {
  std::string error;
  auto handheld = Handheld::Open(folder, &error);
  if (!handheld) return Complain(error), 1;
  std::vector<std::string> problems;
  auto databases = handheld->List(&problems);
  std::printf("%-32s %-4s %-7s %7s %9s\n", "name", "type", "creator", "records", "bytes");
  for (const DatabaseInfo& db : databases) {
    const std::string file = handheld->folder() + "/" + db.file;
    auto full = nb::pdb::ReadFile(file, &error);
    struct stat st;
    const bool sized = nb::TheOs().Stat(file.c_str(), &st) == 0;
    std::printf("%-32s %-4s %-7s %7zu %9llu\n", db.name.c_str(),
                nb::pdb::FourCCText(db.type).c_str(), nb::pdb::FourCCText(db.creator).c_str(),
                full ? full->records.size() : size_t(0),
                sized ? (unsigned long long)st.st_size : 0ull);
  }
  for (const std::string& p : problems) Complain("not a usable database file: " + p);
  return problems.empty() ? 0 : 1;
}

int Main(int argc, char** argv) {
  CLI::App app{"The HotSync Manager of the desktop in $NB_PREFIX (default ~/.nimbra).", "hotsync"};
  nb::cli::Prepare(app);
  app.require_subcommand(0, 1);

  std::string user, handheld, name = "Nimbra EE App", creator, conduit;
  uint32_t id = 0;
  bool last = false, raw = false;
  std::vector<std::string> words;

  auto* init = app.add_subcommand("init", "set the desktop up for synchronisations");
  init->footer(
      "Sets up the Palm desktop and HotSync registry keys, the runtime's "
      "installation key, HotSync's program and libraries in the HotSync folder, the runtime's "
      "Bin\\NDDI\\ and Bin\\NBDDB\\ folders with the plug-ins of this installation and the "
      "data folder. It makes no HotSync user: a handheld's first synchronisation makes its "
      "user, named as the handheld names it. A conduit registration whose library is gone, "
      "as after the installation moved, is pointed at this installation's library of the "
      "same name. What is already right stays as it is.");
  // Older setups pass a user to make; it is accepted and ignored.
  init->add_option("--user", user, "ignored")->group("");

  auto* users = app.add_subcommand("users", "list the HotSync users (ID, name, folder)");
  users->require_subcommand(0, 1);
  auto* users_add = users->add_subcommand(
      "add", "add a HotSync user (at most 31 characters; a fresh user ID unless --id gives one)");
  users_add->add_option("NAME", user, "the user's name")->required();
  users_add->add_option("--id", id, "the user ID")->check(CLI::Range(1u, 4294967295u));

  auto* conduits = app.add_subcommand(
      "conduits", "list the conduit registrations in the order HotSync runs them");
  conduits->require_subcommand(0, 1);
  auto* conduits_add = conduits->add_subcommand("add", "register a conduit for a creator ID");
  conduits_add->footer(
      "Registers CONDUIT (by default the installation's syncconduit.so) for the four-character "
      "creator ID CREATOR, shown as NAME. The library must load and export OpenConduit. An "
      "existing registration of the creator is updated.");
  conduits_add->add_option("CREATOR", creator, "four-character creator ID")->required();
  conduits_add->add_option("CONDUIT", conduit, "the conduit library");
  conduits_add->add_option("--name", name, "what HotSync shows")->capture_default_str();
  auto* conduits_remove =
      conduits->add_subcommand("remove", "remove the registrations of a creator ID");
  conduits_remove->add_option("CREATOR", creator, "four-character creator ID")->required();

  auto* sync = app.add_subcommand("sync", "synchronise the virtual handheld in DIR");
  sync->footer(
      "One press of the HotSync button for the virtual handheld in DIR (its handheld.ini names "
      "the user; one without a user gets the desktop's only user): finds or makes the HotSync "
      "user, runs every registered conduit whose creator owns a database on the handheld, "
      "installs what waits in the user's install folder, then leaves the log of the "
      "synchronisation in the handheld's \"HotSync log.txt\" and the user, this desktop and "
      "the date in its handheld.ini. "
      "Exits with 0 only when every conduit succeeded and everything waiting was installed. "
      "One synchronisation per desktop at a time: while another runs, this one waits for it.");
  sync->add_option("--handheld", handheld, "the virtual handheld's folder")->type_name("DIR");
  LinkOptions links;
  auto* run =
      app.add_subcommand("run", "stay resident as HotSync Manager (also without a command)");
  run->footer(
      "Stays resident as HotSync Manager (window class \"KittyHawk\", title "
      "\"HotSync Manager\") until a close request or an interrupt ends it. "
      "\"hotsync press\" makes it synchronise. With --listen it waits for handhelds doing a "
      "Network HotSync (port 14238; on loopback unless an address is named), with --port for "
      "handhelds in a serial or USB cradle on DEVICE; each one that comes in is synchronised "
      "in turn, one synchronisation per desktop at a time. A handheld from a network address "
      "gets a new HotSync user only with --admit-new-users.");
  run->add_option("--listen", links.listen, "NetSync address and port, e.g. 14238 or 0.0.0.0:14238")
      ->type_name("[ADDR:]PORT");
  run->add_option("--port", links.device, "the cradle's line, e.g. /dev/ttyUSB1 or /dev/ttyS0")
      ->type_name("DEVICE");
  run->add_option("--baud", links.baud, "the cradle's speed")
      ->check(CLI::IsMember({9600, 19200, 38400, 57600, 115200, 230400}))
      ->capture_default_str();
  run->add_flag("--admit-new-users", links.admit_new_users,
                "make HotSync users for new handhelds from network addresses too");
  run->add_option("--user", links.user, "the user for a handheld that has none yet")
      ->type_name("NAME");
  auto* press = app.add_subcommand("press", "make the resident HotSync Manager synchronise DIR");
  press->footer(
      "Makes the resident HotSync Manager synchronise the virtual "
      "handheld in DIR, shows what it printed and the synchronisation's block of the HotSync "
      "log (as \"hotsync log --last\" does) and exits with its result. While another "
      "synchronisation of this desktop runs, the press is refused.");
  press->add_option("--handheld", handheld, "the virtual handheld's folder")->type_name("DIR");

  auto* log = app.add_subcommand("log", "show a HotSync user's log");
  log->footer(
      "Shows the HotSync log of the user NAME, by default the log the last synchronisation "
      "wrote (its user's, or the desktop's own when no user could be found for the handheld): "
      "one block per synchronisation with its date, user, handheld, result and every reason "
      "it failed; a conduit's lines name it and its creator. A log keeps the last 100 "
      "synchronisations.");
  log->add_option("--user", user, "the HotSync user");
  log->add_flag("--last", last, "only the last synchronisation");
  log->add_flag("--raw", raw, "the log file as it is");

  auto* path =
      app.add_subcommand("path", "print the Linux path of desktop paths (e.g. 'C:\\Palm\\Data')");
  path->add_option("PATH", words, "a desktop path")->required();

  auto* install =
      app.add_subcommand("install", "queue files for the next synchronisation of a user");
  install->footer(
      "Queues handheld database files (.prc, .pdb, .pqa) for the next synchronisation of the "
      "user NAME (by default the user of the last one), as the install folder does.");
  install->add_option("FILE", words, "a handheld database file")
      ->required()
      ->check(CLI::ExistingFile);
  install->add_option("--user", user, "the HotSync user");

  auto* list = app.add_subcommand(
      "list", "list the databases on the handheld in DIR: name, type, creator, records, size");
  list->add_option("--handheld", handheld, "the virtual handheld's folder")
      ->type_name("DIR")
      ->required()
      ->check(CLI::ExistingDirectory);

  app.footer(
      "Without a command, hotsync stays resident (as \"hotsync run\"). \"hotsync COMMAND "
      "--help\" tells more about a command.");
  if (int rc = nb::cli::Parse(app, argc, argv); rc >= 0) return rc;

  if (*init) {
    if (init->count("--user"))
      Complain("init: --user is ignored: a handheld's first synchronisation makes its user");
    return RunInit();
  }
  if (*users_add) return AddUser(user, id);
  if (*users) return ListUsers();
  if (*conduits_add || *conduits_remove) {
    if (creator.size() != 4) return nb::cli::UsageError(app, "a creator ID has four characters");
    return *conduits_add ? AddConduit(creator, conduit, name) : RemoveConduit(creator);
  }
  if (*conduits) return ListConduits();
  if (*sync || *press) {
    if (handheld.empty()) return nb::cli::UsageError(app, "--handheld DIR is needed");
    nb::ui::LoadQtHostIfDisplay();
    return *sync ? Synchronise(handheld) : Press(handheld);
  }
  if (*log) return ShowLog(user, last, raw);
  if (*path) {
    for (const std::string& w : words) Say(nb::MapPath(w));
    return 0;
  }
  if (*install) return QueueFiles(user, words);
  if (*list) return ListHandheld(handheld);
  if (*run && !links.listen.empty()) {
    std::string address, error;
    int port = 0;
    if (!ParseListenAddress(links.listen, &address, &port, &error))
      return nb::cli::UsageError(app, error);
  }
  // Conduits' boxes show as windows when a display is there; without one no windowing
  // library is loaded at all.
  nb::ui::LoadQtHostIfDisplay();
  return RunResident(links);
}

}  // namespace
}  // namespace hotsync

int main(int argc, char** argv) { return hotsync::Main(argc, argv); }
