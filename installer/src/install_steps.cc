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

bool Queue(uint32_t type, const std::string& file, uint32_t creator, const Options& options,
           const Script& script) {
  return NB_AddToCommandQueueEx(type, file.c_str(), creator, script.nddi.c_str(), 0, options.major,
                                options.minor) != 0;
}

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
    // Every application before any table: a table needs its application on the handheld.
    for (const Application& app : script.apps) {
      if (!Queue(kCmdDownloadAppForCreator, app.app_file, app.creator, options, script))
        return ShowError("Installation failed.");
    }
    for (const Application& app : script.apps) {
      for (const std::string& table : app.tables) {
        if (!Queue(kCmdDownloadTableForCreator, table, app.creator, options, script))
          return ShowError("Installation failed.");
      }
    }
    if (NB_FlushCommandQueue("Installing application") != 0)
      return ShowError("Installation failed.");
    ShowInfo("Files installed successfully.");
    ok = true;
  };
  return RunAppDialog(script.app_title, script.app_instruct, install) && ok;
}

}  // namespace installer
