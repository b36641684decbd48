// The virtual handheld: a folder with one database file per database and the profile
// "handheld.ini" ([Handheld] UserName, UserID in decimal). A database file is named after
// its database with "/", "%" and control characters written as %XX (upper-case hex) and
// ends in ".prc" for a resource database, ".pdb" otherwise; every other file is not a
// database and is never touched. Reading parses the whole file (bounds-checked by
// pdbfile); writing replaces it atomically, so a crash leaves the old file or the new one.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pdbfile/pdbfile.h"

namespace hotsync {

constexpr char kHandheldProfile[] = "handheld.ini";
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
  uint32_t type = 0, creator = 0;
};

class Handheld {
 public:
  // Reads handheld.ini of the folder (a POSIX path); nullopt with the reason.
  static std::optional<Handheld> Open(const std::string& folder, std::string* error);

  const std::string& folder() const { return folder_; }
  const std::string& user_name() const { return user_name_; }
  uint32_t user_id() const { return user_id_; }
  // Stores the user in handheld.ini, keeping its other entries.
  bool SetUser(const std::string& name, uint32_t id, std::string* error);

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
  std::string user_name_;
  uint32_t user_id_ = 0;
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

// Seconds since 1 January 1904 in local time, the handheld's clock.
uint32_t HandheldNow();

}  // namespace hotsync
