#include "install.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "handheld.h"
#include "platform/prefix.h"
#include "platform/registry.h"
#include "user_list.h"

namespace hotsync {
namespace {

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> files;
  DIR* d = opendir(folder.c_str());
  if (!d) return files;
  while (dirent* e = readdir(d)) {
    struct stat st;
    std::string path = folder + "/" + e->d_name;
    if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) files.push_back(e->d_name);
  }
  closedir(d);
  std::sort(files.begin(), files.end());
  return files;
}

void ClearInstallFlag(const Desktop& desktop, uint32_t user_id) {
  char name[32];
  std::snprintf(name, sizeof name, "Install%d", static_cast<int>(user_id));
  const std::string key = desktop.keys.user + "\\HotSync Manager";
  auto flag = nb::reg::GetDword(nb::reg::Hive::kCurrentUser, key, name);
  if (flag && *flag != 0) nb::reg::SetDword(nb::reg::Hive::kCurrentUser, key, name, 0);
}

}  // namespace

bool InstallWaitingFiles(const Desktop& desktop, const HsUserRecord& user,
                         const std::string& handheld_folder) {
  const std::string folder = nb::MapPath(InstallFolder(desktop, user));
  const std::vector<std::string> files = FilesIn(folder);
  if (files.empty()) {
    ClearInstallFlag(desktop, user.id);
    return true;
  }
  std::string error;
  auto lock = HandheldLock::Acquire(handheld_folder, &error);
  auto handheld = lock ? Handheld::Open(handheld_folder, &error) : std::nullopt;
  if (!handheld) {
    Complain("nothing installed: " + error);
    return false;
  }
  bool ok = true;
  for (const std::string& file : files) {
    const std::string path = folder + "/" + file;
    auto db = nb::pdb::ReadFile(path, &error);
    if (!db || !handheld->Write(*db, &error)) {
      Complain("cannot install " + file + ": " + error + " (it stays in " + folder + ")");
      ok = false;
      continue;
    }
    if (unlink(path.c_str()) != 0) {
      Complain("installed " + file + " but cannot remove it: " + std::strerror(errno));
      ok = false;
      continue;
    }
    Say("HotSync: installed \"" + db->name + "\" from " + file);
  }
  if (FilesIn(folder).empty()) ClearInstallFlag(desktop, user.id);
  return ok;
}

}  // namespace hotsync
