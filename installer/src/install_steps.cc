#include "install_steps.h"

#include <cstring>

#include "dialogs.h"
#include "messages.h"
#include "syncutil/syncutil.h"

namespace installer {
namespace {

std::vector<UserChoice> HotSyncUsers() {
  std::vector<UserChoice> users;
  UserRecord record{};
  int cursor = 0;
  for (int found = NB_FindFirstUser(&record, &cursor); found;
       found = NB_FindNextUser(&record, &cursor)) {
    users.push_back(
        {std::string(record.name, strnlen(record.name, sizeof record.name)), record.id});
    record = UserRecord{};
  }
  return users;
}

// The commands of one run, so that a failed installation takes back what is still queued:
// left there, they would run at the next HotSync, and a full queue blocks every program.
class Queued {
 public:
  Queued(const Options& options, const Script& script) : options_(options), script_(script) {}

  bool Add(uint32_t type, const std::string& file, uint32_t creator) {
    if (!NB_AddToCommandQueueEx(type, file.c_str(), creator, script_.nddi.c_str(), 0,
                                options_.major, options_.minor))
      return false;
    added_.push_back({type, file, creator});
    return true;
  }

  // Newest first; what the conduit already took is gone and stays so.
  void TakeBack() {
    for (auto it = added_.rbegin(); it != added_.rend(); ++it)
      NB_RemoveQueuedCommand(it->type, it->file.c_str(), it->creator);
    added_.clear();
  }

 private:
  struct Command {
    uint32_t type;
    std::string file;
    uint32_t creator;
  };
  const Options& options_;
  const Script& script_;
  std::vector<Command> added_;
};

}  // namespace

bool InstallEngine(const Options& options, const Script& script) {
  auto install = [&](uint32_t user_id) {
    for (const std::string& file : script.prc_files) {
      if (!NB_InstallPRC(user_id, file.c_str())) {
        ShowError("Could not install PRC files.");
        return false;
      }
    }
    if (options.noprcwait) return true;
    if (!RunWaitDialog(user_id)) return false;
    ShowInfo("Files installed successfully.");
    return true;
  };
  return RunEngineDialog(script.eng_title, script.eng_instruct, HotSyncUsers(), install);
}

bool InstallApplications(const Options& options, const Script& script) {
  bool ok = false;
  auto install = [&] {
    Queued queued(options, script);
    auto fail = [&] {
      queued.TakeBack();
      ShowError("Installation failed.");
    };
    // Every application before any table: a table needs its application on the handheld.
    for (const Application& app : script.apps) {
      if (!queued.Add(kCmdDownloadAppForCreator, app.app_file, app.creator)) return fail();
    }
    for (const Application& app : script.apps) {
      for (const std::string& table : app.tables) {
        if (!queued.Add(kCmdDownloadTableForCreator, table, app.creator)) return fail();
      }
    }
    if (NB_FlushCommandQueue("Installing application") != 0) return fail();
    ShowInfo("Files installed successfully.");
    ok = true;
  };
  return RunAppDialog(script.app_title, script.app_instruct, install) && ok;
}

}  // namespace installer
