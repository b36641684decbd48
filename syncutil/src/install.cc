// The install queue: a file copied into a HotSync user's install folder and the user's
// install flag raised, so the next synchronisation installs it.
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "environment.h"
#include "errors.h"
#include "platform/os.h"
#include "platform/prefix.h"
#include "platform/registry.h"
#include "shared_block.h"
#include "syncutil/syncutil.h"

namespace {

std::string InstallFolder(const UserRecord& user) {
  return syncutil::JoinPath(syncutil::JoinPath(syncutil::Env().hotsync_data, user.folder),
                            "Install");
}

std::string BaseName(const std::string& path) {
  size_t sep = path.find_last_of("\\/");
  return sep == std::string::npos ? path : path.substr(sep + 1);
}

}  // namespace

NB_SYNCUTIL_API int NB_InstallPRC(uint32_t userId, const char* sourcePath) {
  if (!sourcePath) return 0;
  if (userId == 0) {
    syncutil::SharedBlock* b = syncutil::Block();
    userId = b ? b->hotsync_user_id : 0;
    if (userId == 0) return 0;
  }
  UserRecord user{};
  if (NB_FindUserByID(userId, &user, 0)) {
    std::string folder = InstallFolder(user);
    std::string posix_folder = nb::MapPath(folder);
    if (!nb::MakeDirs(posix_folder)) return 0;
    std::string target = syncutil::JoinPath(folder, BaseName(sourcePath));
    std::string posix_target = posix_folder + "/" + BaseName(sourcePath);
    // A link planted in the install folder would have the copy written wherever it points.
    // The copy is whole or absent: a synchronisation installs whatever lies there.
    const bool copied = nb::IsPlainFileName(BaseName(sourcePath)) && !nb::IsSymlink(posix_target) &&
                        nb::CopyFileDurably(nb::MapPath(sourcePath), posix_target);
    if (!copied || nb::TheOs().Chmod(posix_target.c_str(), 0644) != 0) {
      syncutil::ShowError(syncutil::kErr1050, std::string("\nSource = \"") + sourcePath +
                                                  "\"\nTarget = \"" + target + "\"");
      return 0;
    }
  }
  std::string key = syncutil::Env().palm_key + "\\HotSync Manager";
  if (syncutil::Env().palm_key.empty() || !nb::reg::KeyExists(nb::reg::Hive::kCurrentUser, key)) {
    return 0;
  }
  char name[32];
  std::snprintf(name, sizeof name, "Install%d", static_cast<int>(userId));
  return nb::reg::SetDword(nb::reg::Hive::kCurrentUser, key, name, 1) ? 1 : 0;
}

NB_SYNCUTIL_API int NB_CheckInstallPending(uint32_t userId) {
  UserRecord user{};
  if (!NB_FindUserByID(userId, &user, 0)) return 0;
  std::string folder = nb::MapPath(InstallFolder(user));
  nb::Os& os = nb::TheOs();
  std::vector<std::string> names;
  os.ListFolder(folder.c_str(), &names);
  for (const std::string& name : names) {
    struct stat st;
    if (os.Stat((folder + "/" + name).c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) return 1;
  }
  return 0;
}
