// What a desktop can ask of a handheld during a HotSync: the requests of the Desktop Link
// Protocol, typed. Two kinds of handheld answer them: a virtual handheld folder
// (hotsync/src/handheld.h) and a real or simulated handheld at the other end of a link
// (client.h). Sync20, the session and the installer work against this interface only, so
// they cannot tell which one they have; the simulator serves a folder handheld over a link
// (server.h), so both answer alike.
//
// Every call returns a Status: 0, a DLP result code the handheld gave (kErr...), or
// kLinkLost when the link failed, timed out or carried a malformed answer; after kLinkLost
// every later call returns kLinkLost too. Times are seconds since 1 January 1904 on the
// handheld's clock (0: never). Only card 0 exists.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace nb::dlp {

using Status = int;

// The handheld's result codes (DLP response error field).
enum : Status {
  kOk = 0,
  kErrSystem = 1,
  kErrIllegalRequest = 2,
  kErrMemory = 3,
  kErrParam = 4,
  kErrNotFound = 5,
  kErrNoneOpen = 6,
  kErrDatabaseOpen = 7,
  kErrTooManyOpen = 8,
  kErrAlreadyExists = 9,
  kErrCantOpen = 10,
  kErrRecordDeleted = 11,
  kErrRecordBusy = 12,
  kErrNotSupported = 13,
  kErrReadOnly = 15,
  kErrNotEnoughSpace = 16,
  kErrLimitExceeded = 17,
  kErrCancelSync = 18,
  kErrBadWrapper = 19,
  kErrArgMissing = 20,
  kErrArgSize = 21,
  // Not the handheld's: the link is gone (failed, timed out, malformed answer).
  kLinkLost = -1,
};

// OpenDB modes, combinable.
enum : uint8_t { kOpenRead = 0x80, kOpenWrite = 0x40, kOpenExclusive = 0x20, kOpenSecret = 0x10 };

// Database attribute bits.
enum : uint16_t {
  kDbResource = 0x0001,
  kDbReadOnly = 0x0002,
  kDbAppInfoDirty = 0x0004,
  kDbBackup = 0x0008,
  kDbOpen = 0x8000,
};

// Record attribute bits (the high nibble of the handheld's attribute byte).
enum : uint8_t { kRecDeleted = 0x80, kRecDirty = 0x40, kRecBusy = 0x20, kRecSecret = 0x10 };

// EndOfSync status codes.
enum : uint16_t { kSyncNormal = 0, kSyncOutOfMemory = 1, kSyncCancelled = 2, kSyncOther = 3 };

// WriteUserInfo modify flags.
enum : uint8_t {
  kModUserId = 0x80,
  kModLastSyncPc = 0x40,
  kModSyncDate = 0x20,
  kModUserName = 0x10,
  kModViewerId = 0x08,
};

struct UserInfo {
  uint32_t user_id = 0;
  uint32_t viewer_id = 0;
  uint32_t last_sync_pc = 0;
  uint32_t successful_sync = 0;  // last successful synchronisation
  uint32_t last_sync = 0;        // last synchronisation
  std::string user_name;         // at most 40 characters
  std::vector<uint8_t> password;
};

struct SysInfo {
  uint32_t rom_version = 0;
  uint32_t locale = 0;
  std::string product_id;
  uint16_t dlp_major = 1, dlp_minor = 4;
  uint16_t compat_major = 1, compat_minor = 1;
  uint32_t max_record_size = 0xFFFF;
};

struct DbInfo {
  std::string name;  // at most 31 characters
  uint8_t misc_flags = 0;
  uint16_t attributes = 0;
  uint32_t type = 0, creator = 0;
  uint16_t version = 0;
  uint32_t mod_number = 0;
  uint32_t created = 0, modified = 0, backed_up = 0;
  uint16_t index = 0;  // position in the handheld's database list
};

struct CreateDb {
  std::string name;  // 1 to 31 characters
  uint32_t creator = 0, type = 0;
  uint16_t attributes = 0;  // kDbResource makes a resource database
  uint16_t version = 0;
};

struct RecordData {
  uint32_t id = 0;  // 24-bit unique ID; a write with 0 makes a new record
  uint16_t index = 0;
  uint8_t attributes = 0;  // kRec...
  uint8_t category = 0;    // 0..15
  std::vector<uint8_t> data;
};

struct ResourceData {
  uint32_t type = 0;
  uint16_t id = 0;
  uint16_t index = 0;
  std::vector<uint8_t> data;
};

class Handheld {
 public:
  virtual ~Handheld() = default;

  virtual Status ReadUserInfo(UserInfo* info) = 0;
  // Writes the fields named by modify (kMod...).
  virtual Status WriteUserInfo(const UserInfo& info, uint8_t modify) = 0;
  virtual Status ReadSysInfo(SysInfo* info) = 0;
  // The RAM databases from list position start on; kErrNotFound when start is past the
  // last. A handheld may answer with fewer than all: ask again from the next index.
  virtual Status ReadDbList(uint16_t start, std::vector<DbInfo>* dbs) = 0;

  virtual Status OpenDb(const std::string& name, uint8_t mode, uint8_t* handle) = 0;
  // Creating a database that exists fails with kErrAlreadyExists.
  virtual Status CreateDb(const CreateDb& new_db, uint8_t* handle) = 0;
  virtual Status CloseDb(uint8_t handle) = 0;
  virtual Status DeleteDb(const std::string& name) = 0;
  // The open database's list entry, and its record (or resource) count.
  virtual Status ReadOpenDbInfo(uint8_t handle, DbInfo* info, uint16_t* count) = 0;

  virtual Status ReadAppBlock(uint8_t handle, std::vector<uint8_t>* block) = 0;
  virtual Status WriteAppBlock(uint8_t handle, const std::vector<uint8_t>& block) = 0;
  virtual Status ReadRecordByIndex(uint8_t handle, uint16_t index, RecordData* record) = 0;
  // Writes record.id's record (0: a new one) with record.attributes and category; *id gets
  // the ID the handheld gave.
  virtual Status WriteRecord(uint8_t handle, const RecordData& record, uint32_t* id) = 0;
  virtual Status ReadResourceByIndex(uint8_t handle, uint16_t index, ResourceData* res) = 0;
  // Replaces the resource of res.type and res.id, or adds it.
  virtual Status WriteResource(uint8_t handle, const ResourceData& res) = 0;
  virtual Status ResetSyncFlags(uint8_t handle) = 0;
  // Removes the records marked deleted.
  virtual Status CleanUpDatabase(uint8_t handle) = 0;

  // Tells the handheld a conduit starts (it shows so on its screen).
  virtual Status OpenConduit() = 0;
  virtual Status AddSyncLogEntry(const std::string& text) = 0;
  // Keeps the link alive while the desktop works for a long time without requests.
  virtual Status KeepAlive() = 0;
  // Ends the synchronisation (kSync...); the handheld commits and leaves HotSync.
  virtual Status EndOfSync(uint16_t status) = 0;
};

// "not found" and the like, for log lines.
std::string StatusText(Status status);

}  // namespace nb::dlp
