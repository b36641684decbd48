// The virtual handheld: a folder with one database file per database, the profile
// "handheld.ini" ([Handheld] UserName, then UserID, ViewerID, LastSyncPC, SuccessfulSync and
// LastSync in decimal; a handheld without a user yet has no name and ID 0) and the text of
// its last synchronisation's log, "HotSync log.txt". A database file is named after
// its database with "/", "%" and control characters written as %XX (upper-case hex) and
// ends in ".prc" for a resource database, ".pdb" otherwise; every other file is not a
// database and is never touched. Reading parses the whole file (bounds-checked by
// pdbfile); writing replaces it atomically, so a crash leaves the old file or the new one.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "dlp/handheld.h"
#include "pdbfile/pdbfile.h"

namespace hotsync {

constexpr char kHandheldProfile[] = "handheld.ini";
constexpr char kHandheldLog[] = "HotSync log.txt";
constexpr size_t kMaxDatabaseName = nb::pdb::kMaxNameLength;

// "Name" -> "Name.pdb" (or ".prc" for a resource database).
std::string DatabaseFileName(const std::string& name, bool resource);
// The database name a file name stands for; false for names that are not database files
// (other extensions, or not written the way DatabaseFileName writes them).
bool DatabaseNameOf(const std::string& file_name, std::string* name);
// 1 to 31 characters, no NUL.
bool ValidDatabaseName(const std::string& name);

struct DatabaseInfo {
  std::string name;
  std::string file;  // file name inside the folder
  uint16_t attributes = 0;
  uint16_t version = 0;
  uint32_t created = 0, modified = 0, backed_up = 0;
  uint32_t mod_number = 0;
  uint32_t type = 0, creator = 0;
};

class Handheld {
 public:
  // Reads handheld.ini of the folder (a POSIX path); nullopt with the reason.
  static std::optional<Handheld> Open(const std::string& folder, std::string* error);

  const std::string& folder() const { return folder_; }
  const std::string& user_name() const { return user_.user_name; }
  uint32_t user_id() const { return user_.user_id; }
  const nb::dlp::UserInfo& user() const { return user_; }
  // Stores the user in handheld.ini, keeping its other entries.
  bool SetUser(const std::string& name, uint32_t id, std::string* error);
  bool SetUserInfo(const nb::dlp::UserInfo& user, std::string* error);

  // The databases, sorted by name. Database files whose header cannot be read or names
  // another database are left out and described in *problems.
  std::vector<DatabaseInfo> List(std::vector<std::string>* problems = nullptr) const;
  bool Exists(const std::string& name) const;
  std::optional<nb::pdb::Database> Read(const std::string& name, std::string* error) const;
  // Writes db under its own name; a file of the other kind for that name is removed.
  bool Write(const nb::pdb::Database& db, std::string* error) const;
  bool Remove(const std::string& name, std::string* error) const;
  // Removes the temporary files of database writes that never finished (call with the
  // handheld's lock held) and returns their names.
  std::vector<std::string> RemoveUnfinishedWrites() const;

 private:
  Handheld() = default;
  // The existing file of a database, empty when there is none.
  std::string FileOf(const std::string& name) const;

  std::string folder_;
  nb::dlp::UserInfo user_;
};

// One synchronisation at a time per handheld: an exclusive lock on the folder, released
// when the object goes (or the process ends).
class HandheldLock {
 public:
  static std::unique_ptr<HandheldLock> Acquire(const std::string& folder, std::string* error);
  ~HandheldLock();
  HandheldLock(const HandheldLock&) = delete;
  HandheldLock& operator=(const HandheldLock&) = delete;

 private:
  explicit HandheldLock(int fd) : fd_(fd) {}
  int fd_;
};

enum class CommitAt {
  kClose,      // a changed database is written when it is closed
  kEndOfSync,  // every change waits in memory for EndOfSync: a dropped link changes nothing
};

// The virtual handheld folder answering the desktop's requests as a handheld does. It holds
// the folder's lock for its lifetime. An open database lives in memory; a deleted one keeps
// its file until EndOfSync or until a database of its name is written, so that a kill in
// between leaves the old database, not none. Problems a Status cannot carry (a damaged
// file, a failed write) go to the reporter, standard error unless set.
class FolderHandheld : public nb::dlp::Handheld {
 public:
  // Null with the reason; *busy tells that another synchronisation holds the folder.
  static std::unique_ptr<FolderHandheld> Open(const std::string& folder, CommitAt commit,
                                              std::string* error, bool* busy = nullptr);
  ~FolderHandheld() override;

  const std::string& folder() const { return store_.folder(); }
  uint32_t keep_alives() const { return keep_alives_; }
  void SetReporter(std::function<void(const std::string&)> report) { report_ = std::move(report); }

  nb::dlp::Status ReadUserInfo(nb::dlp::UserInfo* info) override;
  nb::dlp::Status WriteUserInfo(const nb::dlp::UserInfo& info, uint8_t modify) override;
  nb::dlp::Status ReadSysInfo(nb::dlp::SysInfo* info) override;
  nb::dlp::Status ReadDbList(uint16_t start, std::vector<nb::dlp::DbInfo>* dbs) override;
  nb::dlp::Status OpenDb(const std::string& name, uint8_t mode, uint8_t* handle) override;
  nb::dlp::Status CreateDb(const nb::dlp::CreateDb& new_db, uint8_t* handle) override;
  nb::dlp::Status CloseDb(uint8_t handle) override;
  nb::dlp::Status DeleteDb(const std::string& name) override;
  nb::dlp::Status ReadOpenDbInfo(uint8_t handle, nb::dlp::DbInfo* info, uint16_t* count) override;
  nb::dlp::Status ReadAppBlock(uint8_t handle, std::vector<uint8_t>* block) override;
  nb::dlp::Status WriteAppBlock(uint8_t handle, const std::vector<uint8_t>& block) override;
  nb::dlp::Status ReadRecordByIndex(uint8_t handle, uint16_t index,
                                    nb::dlp::RecordData* record) override;
  nb::dlp::Status WriteRecord(uint8_t handle, const nb::dlp::RecordData& record,
                              uint32_t* id) override;
  nb::dlp::Status ReadResourceByIndex(uint8_t handle, uint16_t index,
                                      nb::dlp::ResourceData* res) override;
  nb::dlp::Status WriteResource(uint8_t handle, const nb::dlp::ResourceData& res) override;
  nb::dlp::Status ResetSyncFlags(uint8_t handle) override;
  nb::dlp::Status CleanUpDatabase(uint8_t handle) override;
  nb::dlp::Status OpenConduit() override;
  nb::dlp::Status AddSyncLogEntry(const std::string& text) override;
  nb::dlp::Status KeepAlive() override;
  nb::dlp::Status EndOfSync(uint16_t status) override;

 private:
  struct OpenDatabase {
    nb::pdb::Database db;
    uint8_t mode = 0;
    bool changed = false;
    uint32_t last_id = 0;  // where fresh unique IDs continue
  };
  FolderHandheld(hotsync::Handheld store, CommitAt commit)
      : store_(std::move(store)), commit_(commit) {}
  bool Exists(const std::string& name) const;
  OpenDatabase* FindOpen(const std::string& name);
  // The open database of handle; null with *status set when there is none or, with
  // write, when it was opened for reading only.
  OpenDatabase* Use(uint8_t handle, bool write, nb::dlp::Status* status);
  bool Store(const nb::pdb::Database& db);
  bool Commit();
  void Report(const std::string& text) const;

  hotsync::Handheld store_;
  CommitAt commit_;
  std::unique_ptr<HandheldLock> lock_;
  std::map<uint8_t, OpenDatabase> open_;
  std::map<std::string, nb::pdb::Database> pending_;  // kEndOfSync: closed, not yet written
  std::set<std::string> deleted_;                     // files that go at EndOfSync
  nb::dlp::UserInfo user_;
  bool user_changed_ = false;
  std::string log_;
  bool log_begun_ = false, log_changed_ = false;
  uint32_t keep_alives_ = 0;
  bool problems_told_ = false;
  bool ended_ = false;
  std::function<void(const std::string&)> report_;
};

// Seconds since 1 January 1904 in local time, the handheld's clock.
uint32_t HandheldNow();

}  // namespace hotsync
