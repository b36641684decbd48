// User exports over HotSync's user-management library, bound from the HotSync folder.
#include "users.h"

#include <cstring>

#include "environment.h"
#include "hotsync/usermgr.h"
#include "platform/library.h"
#include "platform/ui.h"

namespace syncutil {
namespace {

struct UserManager {
  void* lib = nullptr;
  InitUserManagerFn init = nullptr;
  UninitUserManagerFn uninit = nullptr;
  FindFirstUserFn find_first = nullptr;
  FindNextUserFn find_next = nullptr;
  FindUserByIDFn find_by_id = nullptr;
  AddUserFn add = nullptr;
  DeleteUserFn remove = nullptr;
  RenameUserFn rename = nullptr;
  SaveUserChangesFn save = nullptr;
  bool initialised = false;
};

UserManager g_um;

bool Bind() {
  if (g_um.lib) return true;
  std::string dir = Env().hotsync_dir.empty() ? "C:\\Palm" : Env().hotsync_dir;
  g_um.lib = nb::LoadLibrary(JoinPath(dir, kUserMgrLibrary));
  if (!g_um.lib) return false;
  auto resolve = [](auto& fn, const char* name) {
    fn =
        reinterpret_cast<std::remove_reference_t<decltype(fn)>>(nb::GetProcAddress(g_um.lib, name));
    return fn != nullptr;
  };
  bool ok = resolve(g_um.init, "InitUserManager") & resolve(g_um.uninit, "UninitUserManager") &
            resolve(g_um.find_first, "FindFirstUser") & resolve(g_um.find_next, "FindNextUser") &
            resolve(g_um.find_by_id, "FindUserByID") & resolve(g_um.add, "AddUser") &
            resolve(g_um.remove, "DeleteUser") & resolve(g_um.rename, "RenameUser") &
            resolve(g_um.save, "SaveUserChanges");
  if (!ok) {
    nb::FreeLibrary(g_um.lib);
    g_um = UserManager{};
  }
  return ok;
}

bool Init() {
  std::string data = Env().hotsync_data;
  if (data.empty() || (data.back() != '\\' && data.back() != '/')) data += '\\';
  int count = 0;
  g_um.initialised = g_um.init(data.c_str(), &count) != 0;
  return g_um.initialised;
}

void ToRecord(const HsUserRecord& hs, UserRecord* r) {
  std::memset(r, 0, sizeof *r);
  r->id = hs.id;
  std::memcpy(r->name, hs.name, sizeof r->name);
  r->name[sizeof r->name - 1] = 0;
  std::memcpy(r->folder, hs.folder, sizeof r->folder);
  r->folder[sizeof r->folder - 1] = 0;
  r->extra = hs.extra;
}

}  // namespace

bool EnsureUserManager() {
  if (g_um.initialised) return true;
  return Bind() && Init();
}

void ShutdownUserManager() {
  if (g_um.initialised) g_um.uninit();
  if (g_um.lib) nb::FreeLibrary(g_um.lib);
  g_um = UserManager{};
}

}  // namespace syncutil

using syncutil::EnsureUserManager;
using syncutil::g_um;

NB_SYNCUTIL_API int NB_FindFirstUser(UserRecord* record, int* cursor) {
  if (!EnsureUserManager() || !record) return 0;
  HsUserRecord hs{};
  int r = g_um.find_first(&hs, cursor);
  if (r) syncutil::ToRecord(hs, record);
  return r;
}

NB_SYNCUTIL_API int NB_FindNextUser(UserRecord* record, int* cursor) {
  if (!EnsureUserManager() || !record) return 0;
  HsUserRecord hs{};
  int r = g_um.find_next(&hs, cursor);
  if (r) syncutil::ToRecord(hs, record);
  return r;
}

NB_SYNCUTIL_API int NB_FindUserByID(uint32_t id, UserRecord* record, int extra) {
  if (!EnsureUserManager()) return 0;
  HsUserRecord hs{};
  int r = g_um.find_by_id(id, &hs, extra);
  if (r && record) syncutil::ToRecord(hs, record);
  return r;
}

NB_SYNCUTIL_API int NB_AddUser(UserRecord* record, int extra) {
  if (!EnsureUserManager() || !record) return 0;
  HsUserRecord hs{};
  hs.id = record->id;
  std::memcpy(hs.name, record->name, sizeof hs.name - 1);
  int r = g_um.add(&hs, extra);
  if (r) syncutil::ToRecord(hs, record);
  return r;
}

NB_SYNCUTIL_API int NB_DeleteUser(uint32_t id, int flags) {
  return EnsureUserManager() ? g_um.remove(id, flags) : 0;
}

NB_SYNCUTIL_API int NB_RenameUser(uint32_t id, const char* newName, int flags) {
  return EnsureUserManager() ? g_um.rename(id, newName, flags) : 0;
}

NB_SYNCUTIL_API int NB_CommitUserChanges(int flags) {
  return EnsureUserManager() ? g_um.save(flags) : 0;
}

NB_SYNCUTIL_API int NB_AbandonUserChanges(int* errorOut) {
  if (!g_um.initialised) {
    if (errorOut) *errorOut = 4001;
    return 0;
  }
  g_um.uninit();
  g_um.initialised = false;
  return syncutil::Init() ? 1 : 0;
}

NB_SYNCUTIL_API int NB_UserMaintenance() {
  nb::ui::Dialog d;
  d.caption = "User Maintenance (DISABLED for Beta)";
  d.lines = {"Registered Users:   ", "Slot\tUser Name",         "1\tBeta User",
             "&Add ... (disabled)",  "&Replace ... (disabled)", "&Delete ... (disabled)"};
  d.buttons = {"OK", "Cancel"};
  d.default_button = "OK";
  nb::ui::RunDialog(d);
  return 1;
}
