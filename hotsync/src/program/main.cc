// hotsync: the HotSync Manager of this desktop. Sets the desktop up, keeps the HotSync
// users and conduit registrations, synchronises virtual handhelds and shows the logs.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "desktop.h"
#include "hotsync/conduit_registry.h"
#include "init.h"
#include "pdbfile/bytes.h"
#include "platform/library.h"
#include "platform/prefix.h"
#include "resident.h"
#include "synchronise.h"
#include "user_list.h"

namespace hotsync {
namespace {

constexpr int kUsage = 2;

const std::map<std::string, const char*> kHelp = {
    {"",
     "usage: hotsync [COMMAND] [--help]\n"
     "The HotSync Manager of the desktop in $NB_PREFIX.\n"
     "\n"
     "commands:\n"
     "  init                       set the desktop up for synchronisations\n"
     "  users                      list the HotSync users\n"
     "  users add NAME             add a HotSync user\n"
     "  conduits                   list the conduit registrations\n"
     "  conduits add CREATOR [CONDUIT]\n"
     "                             register a conduit for a creator ID\n"
     "  sync --handheld DIR        synchronise the virtual handheld in DIR\n"
     "  run                        stay resident as HotSync Manager (also without a\n"
     "                             command)\n"
     "  press --handheld DIR       make the resident HotSync Manager synchronise DIR\n"
     "  log [--user NAME]          show a HotSync user's log\n"
     "\n"
     "\"hotsync COMMAND --help\" tells more about a command.\n"},
    {"init",
     "usage: hotsync init [--user NAME]\n"
     "Sets the desktop in $NB_PREFIX up: the Palm desktop and HotSync registry keys,\n"
     "the runtime's installation key, HotSync's program and libraries in the HotSync\n"
     "folder, the runtime's Bin\\NDDI\\ and Bin\\NBDDB\\ folders with the plug-ins this\n"
     "build made, the data folder and one HotSync user (NAME, by default \"HotSync\n"
     "User\", made when the desktop has none, or when --user names a user that does\n"
     "not exist). What is already right stays as it is.\n"},
    {"users",
     "usage: hotsync users\n"
     "       hotsync users add NAME [--id ID]\n"
     "Lists the HotSync users (ID, name, folder), or adds one (at most 31\n"
     "characters; a fresh user ID unless --id gives one).\n"},
    {"conduits",
     "usage: hotsync conduits\n"
     "       hotsync conduits add CREATOR [CONDUIT] [--name NAME]\n"
     "Lists the conduit registrations in the order HotSync runs them, or registers\n"
     "CONDUIT (by default the syncconduit.so beside this program) for the\n"
     "four-character creator ID CREATOR, shown as NAME (by default \"Nimbra EE\n"
     "App\"). An existing registration of the creator is updated.\n"},
    {"sync",
     "usage: hotsync sync --handheld DIR\n"
     "One press of the HotSync button for the virtual handheld in DIR (its\n"
     "handheld.ini names the user): finds or makes the HotSync user, runs every\n"
     "registered conduit whose creator owns a database on the handheld, then installs\n"
     "what waits in the user's install folder. Exits with 0 only when every conduit\n"
     "succeeded and everything waiting was installed.\n"},
    {"run",
     "usage: hotsync run\n"
     "Stays resident as HotSync Manager (window class \"KittyHawk\", title \"HotSync\n"
     "Manager\") until a close request or an interrupt ends it. \"hotsync press\" makes\n"
     "it synchronise.\n"},
    {"press",
     "usage: hotsync press --handheld DIR\n"
     "Makes the resident HotSync Manager synchronise the virtual handheld in DIR,\n"
     "shows what it printed and exits with its result.\n"},
    {"log",
     "usage: hotsync log [--user NAME]\n"
     "Shows the HotSync log of the user NAME, by default of the user of the last\n"
     "synchronisation.\n"},
};

int Usage(const std::string& command, const std::string& problem) {
  std::fprintf(stderr, "hotsync: %s\n%s", problem.c_str(), kHelp.at(command));
  return kUsage;
}

// Splits "--flag VALUE" options from plain words; false on an unknown or incomplete flag.
struct Args {
  std::vector<std::string> words;
  std::map<std::string, std::string> flags;
  bool help = false;
};

bool Parse(const std::string& command, int argc, char** argv, int first,
           const std::vector<std::string>& known, Args* args, int* status) {
  for (int i = first; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      args->help = true;
      continue;
    }
    if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
      bool ok = false;
      for (const std::string& k : known) ok = ok || k == a;
      if (!ok) return *status = Usage(command, "unknown option " + a), false;
      if (i + 1 >= argc) return *status = Usage(command, a + " needs a value"), false;
      args->flags[a] = argv[++i];
      continue;
    }
    args->words.push_back(a);
  }
  return true;
}

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
    Say(std::to_string(u.id) + "\t" + u.name + "\t" + UserFolder(desktop, u));
  return 0;
}

int AddUser(const std::string& name, const std::string& id_text) {
  uint32_t id = 0;
  if (!id_text.empty()) {
    char* end = nullptr;
    unsigned long long v = std::strtoull(id_text.c_str(), &end, 10);
    if (*end || v == 0 || v > 0xFFFFFFFFull || !std::isdigit(uint8_t(id_text[0])))
      return Usage("users", "the user ID must be a decimal number from 1 to 4294967295");
    id = uint32_t(v);
  }
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
  if (creator.size() != 4) return Usage("conduits", "a creator ID has four characters");
  if (conduit.empty()) {
    conduit = ProgramDir() + "/syncconduit.so";
  } else if (conduit[0] != '/' && !(conduit.size() > 1 && conduit[1] == ':')) {
    std::error_code ec;
    conduit = std::filesystem::absolute(conduit, ec).lexically_normal();
  }
  struct stat st;
  if (stat(nb::LibraryFile(conduit).c_str(), &st) != 0) {
    Complain("there is no conduit library " + nb::LibraryFile(conduit));
    return 1;
  }
  Desktop desktop;
  if (!Desk(&desktop)) return 1;
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

int ShowLog(const std::string& name) {
  Desktop desktop;
  if (!Desk(&desktop)) return 1;
  std::string error;
  auto users = UserList::Open(desktop, &error);
  if (!users) return Complain(error), 1;
  HsUserRecord user{};
  if (!name.empty()) {
    if (!users->FindByName(name, &user)) return Complain("no HotSync user \"" + name + "\""), 1;
  } else if (!users->FindById(LastUserId(desktop), &user)) {
    Complain("no synchronisation yet; name a user with --user");
    return 1;
  }
  std::ifstream in(nb::MapPath(LogFile(desktop, user)), std::ios::binary);
  if (!in) {
    Complain("the HotSync user \"" + std::string(user.name) + "\" has no log yet");
    return 1;
  }
  std::cout << in.rdbuf();
  return 0;
}

int Main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "run";
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kHelp.at(""), stdout);
    return 0;
  }
  if (!kHelp.count(command) || command.empty())
    return Usage("", "unknown command \"" + command + "\"");
  const std::map<std::string, std::vector<std::string>> options = {
      {"init", {"--user"}},     {"users", {"--id"}}, {"conduits", {"--name"}},
      {"sync", {"--handheld"}}, {"run", {}},         {"press", {"--handheld"}},
      {"log", {"--user"}}};
  Args args;
  int status = 0;
  if (!Parse(command, argc, argv, 2, options.at(command), &args, &status)) return status;
  if (args.help) {
    std::fputs(kHelp.at(command), stdout);
    return 0;
  }
  const auto& w = args.words;
  auto flag = [&](const char* f) { return args.flags.count(f) ? args.flags.at(f) : ""; };

  if (command == "init") {
    if (!w.empty()) return Usage(command, "unexpected " + w[0]);
    InitOptions o;
    if (args.flags.count("--user")) {
      o.user = flag("--user");
      o.user_given = true;
    }
    return RunInit(o);
  }
  if (command == "users") {
    if (w.empty() && args.flags.empty()) return ListUsers();
    if (w.size() == 2 && w[0] == "add") return AddUser(w[1], flag("--id"));
    return Usage(command, "expected nothing, or add NAME");
  }
  if (command == "conduits") {
    if (w.empty() && args.flags.empty()) return ListConduits();
    if ((w.size() == 2 || w.size() == 3) && w[0] == "add")
      return AddConduit(w[1], w.size() == 3 ? w[2] : "",
                        args.flags.count("--name") ? flag("--name") : "Nimbra EE App");
    return Usage(command, "expected nothing, or add CREATOR [CONDUIT]");
  }
  if (command == "sync" || command == "press") {
    if (!w.empty()) return Usage(command, "unexpected " + w[0]);
    if (flag("--handheld").empty()) return Usage(command, "--handheld DIR is needed");
    return command == "sync" ? Synchronise(flag("--handheld")) : Press(flag("--handheld"));
  }
  if (command == "run") {
    if (!w.empty()) return Usage(command, "unexpected " + w[0]);
    return RunResident();
  }
  if (!w.empty()) return Usage(command, "unexpected " + w[0]);
  return ShowLog(flag("--user"));
}

}  // namespace
}  // namespace hotsync

int main(int argc, char** argv) { return hotsync::Main(argc, argv); }
