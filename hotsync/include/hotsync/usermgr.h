// HotSync's user-management library stand-in, "HsUsers20.dll" in the HotSync folder.
// The user list lives in the file "Users.ini" of the HotSync data folder, one section per
// user ([User<ID>] with Name and Folder); changes stay in memory until SaveUserChanges.
// Every operation returns non-zero on success.
#pragma once

#include <cstdint>

#define HS_USERMGR_API extern "C" __attribute__((visibility("default")))

struct HsUserRecord {
  uint32_t id;
  char name[32];     // at most 31 characters
  char folder[260];  // the user's folder inside the data folder
  uint16_t extra;
};

constexpr const char kUserMgrLibrary[] = "HsUsers20.dll";

// dataFolder ends in a separator; *out receives the number of users.
using InitUserManagerFn = int (*)(const char* dataFolder, int* out);
using UninitUserManagerFn = int (*)();
using FindFirstUserFn = int (*)(HsUserRecord* record, int* cursor);
using FindNextUserFn = int (*)(HsUserRecord* record, int* cursor);
using FindUserByIDFn = int (*)(uint32_t id, HsUserRecord* record, int extra);
// Adds record->name (with record->id, or a fresh ID when 0) and creates its folder.
using AddUserFn = int (*)(HsUserRecord* record, int extra);
using DeleteUserFn = int (*)(uint32_t id, int flags);
using RenameUserFn = int (*)(uint32_t id, const char* newName, int flags);
using SaveUserChangesFn = int (*)(int flags);
