// The HotSync users, through HotSync's user-management library in the HotSync folder.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "desktop.h"
#include "hotsync/usermgr.h"

namespace hotsync {

class UserList {
 public:
  // Loads the library and reads the users of the data folder; null with the reason.
  static std::unique_ptr<UserList> Open(const Desktop& desktop, std::string* error);
  ~UserList();
  UserList(const UserList&) = delete;
  UserList& operator=(const UserList&) = delete;

  std::vector<HsUserRecord> All() const;
  bool FindById(uint32_t id, HsUserRecord* out) const;
  // Names compare without regard to case, as HotSync does.
  bool FindByName(const std::string& name, HsUserRecord* out) const;
  // Adds and saves a user (id 0: a fresh ID); false with the reason.
  bool Add(const std::string& name, uint32_t id, HsUserRecord* out, std::string* error);

 private:
  UserList() = default;
  template <typename F>
  bool Bind(F& fn, const char* name);

  std::string data_dir_;
  void* lib_ = nullptr;
  bool initialised_ = false;
  InitUserManagerFn init_ = nullptr;
  UninitUserManagerFn uninit_ = nullptr;
  FindFirstUserFn first_ = nullptr;
  FindNextUserFn next_ = nullptr;
  FindUserByIDFn by_id_ = nullptr;
  AddUserFn add_ = nullptr;
  SaveUserChangesFn save_ = nullptr;
};

// A user's folder in the data folder and the files in it (Windows paths).
std::string UserFolder(const Desktop& desktop, const HsUserRecord& user);
std::string InstallFolder(const Desktop& desktop, const HsUserRecord& user);
std::string LogFile(const Desktop& desktop, const HsUserRecord& user);

}  // namespace hotsync
