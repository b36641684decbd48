#include "user_list.h"

#include <strings.h>

#include "platform/library.h"
#include "platform/prefix.h"

namespace hotsync {

template <typename F>
bool UserList::Bind(F& fn, const char* name) {
  fn = reinterpret_cast<F>(nb::GetProcAddress(lib_, name));
  return fn != nullptr;
}

std::unique_ptr<UserList> UserList::Open(const Desktop& desktop, std::string* error) {
  std::unique_ptr<UserList> list(new UserList);
  const std::string path = JoinPath(desktop.hotsync_dir, kUserMgrLibrary);
  std::string why;
  list->lib_ = nb::LoadLibrary(path, &why);
  if (!list->lib_) {
    *error = "cannot load HotSync's user library " + nb::LibraryFile(path) + ": " + why;
    return nullptr;
  }
  if (!list->Bind(list->init_, "InitUserManager") ||
      !list->Bind(list->uninit_, "UninitUserManager") ||
      !list->Bind(list->first_, "FindFirstUser") || !list->Bind(list->next_, "FindNextUser") ||
      !list->Bind(list->by_id_, "FindUserByID") || !list->Bind(list->add_, "AddUser") ||
      !list->Bind(list->save_, "SaveUserChanges")) {
    *error = nb::LibraryFile(path) + " lacks the user-management operations";
    return nullptr;
  }
  list->data_dir_ = desktop.data_dir;
  if (list->data_dir_.back() != '\\' && list->data_dir_.back() != '/') list->data_dir_ += '\\';
  int count = 0;
  if (!list->init_(list->data_dir_.c_str(), &count)) {
    *error = "cannot read the HotSync users of " + nb::MapPath(list->data_dir_);
    return nullptr;
  }
  list->initialised_ = true;
  return list;
}

UserList::~UserList() {
  if (initialised_) uninit_();
  if (lib_) nb::FreeLibrary(lib_);
}

std::vector<HsUserRecord> UserList::All() const {
  std::vector<HsUserRecord> out;
  HsUserRecord r{};
  int cursor = 0;
  for (bool ok = first_(&r, &cursor); ok; ok = next_(&r, &cursor)) out.push_back(r);
  return out;
}

bool UserList::FindById(uint32_t id, HsUserRecord* out) const {
  HsUserRecord r{};
  if (id == 0 || !by_id_(id, &r, 0)) return false;
  if (out) *out = r;
  return true;
}

bool UserList::FindByName(const std::string& name, HsUserRecord* out) const {
  for (const HsUserRecord& r : All()) {
    if (strcasecmp(r.name, name.c_str()) != 0) continue;
    if (out) *out = r;
    return true;
  }
  return false;
}

bool UserList::Add(const std::string& name, uint32_t id, HsUserRecord* out, std::string* error) {
  if (name.empty() || name.size() > 31) {
    *error = "a HotSync user name has 1 to 31 characters: \"" + name + "\"";
    return false;
  }
  HsUserRecord existing{};
  if (FindByName(name, &existing)) {
    *error = "the HotSync user \"" + std::string(existing.name) + "\" already exists (ID " +
             std::to_string(existing.id) + ")";
    return false;
  }
  if (FindById(id, &existing)) {
    *error = "the user ID " + std::to_string(id) + " belongs to the HotSync user \"" +
             existing.name + "\"";
    return false;
  }
  HsUserRecord r{};
  r.id = id;
  name.copy(r.name, sizeof r.name - 1);
  if (!add_(&r, 0)) {
    *error = "HotSync's user library could not add \"" + name + "\"";
    return false;
  }
  if (!save_(0)) {
    *error = "cannot save the HotSync users in " + nb::MapPath(data_dir_);
    return false;
  }
  if (out) *out = r;
  return true;
}

std::string UserFolder(const Desktop& desktop, const HsUserRecord& user) {
  return JoinPath(desktop.data_dir, user.folder);
}
std::string InstallFolder(const Desktop& desktop, const HsUserRecord& user) {
  return JoinPath(UserFolder(desktop, user), "Install");
}
std::string LogFile(const Desktop& desktop, const HsUserRecord& user) {
  return JoinPath(UserFolder(desktop, user), "HotSync.Log");
}

}  // namespace hotsync
