#include "hotsync/usermgr.h"

#include <strings.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/os.h"
#include "platform/prefix.h"
#include "platform/profile.h"

namespace {

struct User {
  uint32_t id;
  std::string name;
  std::string folder;
};

bool g_open = false;
std::string g_data;  // Windows path of the data folder, ending in a separator
// A plain pointer, freed by UninitUserManager: the library may be shut down by its caller
// after static destructors ran, and a loaded-then-released library must not leak it.
std::vector<User>* g_list = nullptr;

std::vector<User>& Users() {
  if (!g_list) g_list = new std::vector<User>;
  return *g_list;
}

std::string UsersFile() { return nb::MapPath(g_data + "Users.ini"); }

void Fill(const User& u, HsUserRecord* r) {
  std::memset(r, 0, sizeof *r);
  r->id = u.id;
  std::strncpy(r->name, u.name.c_str(), sizeof r->name - 1);
  std::strncpy(r->folder, u.folder.c_str(), sizeof r->folder - 1);
}

User* ById(uint32_t id) {
  for (User& u : Users())
    if (u.id == id) return &u;
  return nullptr;
}

bool NameTaken(const std::string& name, uint32_t except) {
  for (const User& u : Users())
    if (u.id != except && strcasecmp(u.name.c_str(), name.c_str()) == 0) return true;
  return false;
}

// A folder name the file system can hold, unique among the users.
std::string FolderFor(const std::string& name) {
  std::string base;
  for (char c : name) base += (c == '/' || c == '\\' || c == ':' || c < ' ') ? '_' : c;
  if (base.empty() || base == "." || base == "..") base = "User";
  std::string folder = base;
  for (int n = 2;; ++n) {
    bool used = false;
    for (const User& u : Users()) used = used || strcasecmp(u.folder.c_str(), folder.c_str()) == 0;
    if (!used) return folder;
    folder = base + std::to_string(n);
  }
}

bool ValidName(const char* name) {
  size_t len = strnlen(name, 32);
  return len > 0 && len <= 31;
}

}  // namespace

HS_USERMGR_API int InitUserManager(const char* dataFolder, int* out) {
  if (!dataFolder || !*dataFolder) return 0;
  g_data = dataFolder;
  Users().clear();
  // What a save killed half-way left behind.
  nb::RemoveAbandonedTemporaries(nb::FolderOf(UsersFile()));
  nb::Profile p = nb::Profile::Load(UsersFile());
  for (const std::string& section : p.Sections()) {
    if (strncasecmp(section.c_str(), "User", 4) != 0) continue;
    User u{static_cast<uint32_t>(std::strtoul(section.c_str() + 4, nullptr, 10)),
           p.Get(section, "Name"), p.Get(section, "Folder")};
    if (u.id != 0 && !u.name.empty() && !ById(u.id)) Users().push_back(u);
  }
  g_open = true;
  if (out) *out = static_cast<int>(Users().size());
  return 1;
}

HS_USERMGR_API int UninitUserManager() {
  g_open = false;
  delete g_list;
  g_list = nullptr;
  return 1;
}

HS_USERMGR_API int FindFirstUser(HsUserRecord* record, int* cursor) {
  if (!g_open || !record || !cursor) return 0;
  *cursor = 0;
  if (Users().empty()) return 0;
  Fill(Users()[0], record);
  return 1;
}

HS_USERMGR_API int FindNextUser(HsUserRecord* record, int* cursor) {
  if (!g_open || !record || !cursor) return 0;
  size_t next = static_cast<size_t>(*cursor) + 1;
  if (*cursor < 0 || next >= Users().size()) return 0;
  *cursor = static_cast<int>(next);
  Fill(Users()[next], record);
  return 1;
}

HS_USERMGR_API int FindUserByID(uint32_t id, HsUserRecord* record, int) {
  User* u = g_open ? ById(id) : nullptr;
  if (!u) return 0;
  if (record) Fill(*u, record);
  return 1;
}

HS_USERMGR_API int AddUser(HsUserRecord* record, int) {
  if (!g_open || !record || !ValidName(record->name)) return 0;
  std::string name(record->name, strnlen(record->name, 31));
  if (NameTaken(name, 0) || (record->id != 0 && ById(record->id))) return 0;
  uint32_t id = record->id;
  std::mt19937 rng(std::random_device{}());
  while (id == 0 || ById(id)) id = rng() & 0x7FFFFFFF;
  User u{id, name, FolderFor(name)};
  if (!nb::MakeDirs(nb::MapPath(g_data + u.folder))) return 0;
  Users().push_back(u);
  Fill(u, record);
  return 1;
}

HS_USERMGR_API int DeleteUser(uint32_t id, int) {
  for (size_t i = 0; g_open && i < Users().size(); ++i) {
    if (Users()[i].id == id) {
      Users().erase(Users().begin() + static_cast<long>(i));
      return 1;
    }
  }
  return 0;
}

HS_USERMGR_API int RenameUser(uint32_t id, const char* newName, int) {
  User* u = g_open ? ById(id) : nullptr;
  if (!u || !newName || !ValidName(newName) || NameTaken(newName, id)) return 0;
  u->name = newName;
  return 1;
}

HS_USERMGR_API int SaveUserChanges(int) {
  if (!g_open) return 0;
  nb::Profile p;
  for (const User& u : Users()) {
    std::string section = "User" + std::to_string(u.id);
    p.Set(section, "Name", u.name);
    p.Set(section, "Folder", u.folder);
  }
  nb::MakeDirs(nb::MapPath(g_data));
  return p.Save(UsersFile()) ? 1 : 0;
}
