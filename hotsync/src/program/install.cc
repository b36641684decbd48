#include "install.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <set>
#include <vector>

#include "handheld.h"
#include "platform/os.h"
#include "platform/prefix.h"
#include "platform/registry.h"
#include "user_list.h"

namespace hotsync {
namespace {

std::vector<std::string> FilesIn(const std::string& folder) {
  nb::Os& os = nb::TheOs();
  std::vector<std::string> names, files;
  os.ListFolder(folder.c_str(), &names);
  for (const std::string& name : names) {
    struct stat st;
    const std::string path = folder + "/" + name;
    if (os.Stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) files.push_back(name);
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string FlagKey(const Desktop& desktop) { return desktop.keys.user + "\\HotSync Manager"; }

std::string FlagName(uint32_t user_id) {
  char name[32];
  std::snprintf(name, sizeof name, "Install%d", static_cast<int>(user_id));
  return name;
}

bool InstallFlagSet(const Desktop& desktop, uint32_t user_id) {
  return nb::reg::GetDword(nb::reg::Hive::kCurrentUser, FlagKey(desktop), FlagName(user_id)) == 1u;
}

void SetInstallFlag(const Desktop& desktop, uint32_t user_id, uint32_t value) {
  nb::reg::SetDword(nb::reg::Hive::kCurrentUser, FlagKey(desktop), FlagName(user_id), value);
}

void ClearInstallFlag(const Desktop& desktop, uint32_t user_id) {
  SetInstallFlag(desktop, user_id, 0);
}

bool EndsWithNoCase(const std::string& s, const char* tail) {
  const size_t n = std::strlen(tail);
  return s.size() >= n && strcasecmp(s.c_str() + s.size() - n, tail) == 0;
}

// HotSync installs handheld databases only: a .prc, .pdb or .pqa file whose header holds
// a terminated, printable name and a type and creator. Anything else (a memo file, junk)
// would parse as an empty database with a nonsense name.
std::optional<nb::pdb::Database> HandheldDatabase(const std::string& path, std::string* why) {
  if (!EndsWithNoCase(path, ".prc") && !EndsWithNoCase(path, ".pdb") &&
      !EndsWithNoCase(path, ".pqa")) {
    *why = "not a handheld database file (.prc, .pdb or .pqa)";
    return std::nullopt;
  }
  auto db = nb::pdb::ReadFile(path, why);
  if (!db) return std::nullopt;
  char raw[32] = {};
  nb::Os& os = nb::TheOs();
  const int fd = os.Open(path.c_str(), O_RDONLY | O_CLOEXEC, 0);
  const bool read = fd >= 0 && os.PRead(fd, raw, sizeof raw, 0) == ssize_t(sizeof raw);
  if (fd >= 0) os.Close(fd);
  const size_t len = read ? strnlen(raw, sizeof raw) : sizeof raw;
  bool printable = len > 0 && len < sizeof raw;
  for (size_t i = 0; printable && i < len; ++i) printable = uint8_t(raw[i]) >= 0x20;
  if (!printable || db->type == 0 || db->creator == 0) {
    *why = "its header names no handheld database";
    return std::nullopt;
  }
  return db;
}

// The handheld's limits, checked before its database is replaced.
std::string TooBigForTheHandheld(const nb::pdb::Database& db) {
  if (!ValidDatabaseName(db.name)) return "\"" + db.name + "\" is not a database name";
  if (db.records.size() > 0xFFFF) return "more records than a handheld database holds";
  if (db.app_info.size() > 0xFFFF) return "its application block is larger than 64 KB";
  for (const nb::pdb::Record& r : db.records)
    if (r.data.size() > 0xFFFF) return "a record is larger than 64 KB";
  return "";
}

// Replaces the database of db's name on the handheld with db: the handheld's status.
nb::dlp::Status Install(nb::dlp::Handheld& handheld, const nb::pdb::Database& db) {
  using namespace nb::dlp;
  Status s = handheld.DeleteDb(db.name);
  if (s != kOk && s != kErrNotFound) return s;
  uint8_t h = 0;
  const uint16_t attributes = db.attributes & uint16_t(~kDbOpen);
  if ((s = handheld.CreateDb({db.name, db.creator, db.type, attributes, db.version}, &h))) return s;
  if (!db.app_info.empty()) s = handheld.WriteAppBlock(h, db.app_info);
  std::set<uint32_t> ids;
  for (size_t i = 0; s == kOk && i < db.records.size(); ++i) {
    const nb::pdb::Record& r = db.records[i];
    if (db.IsResource()) {
      s = handheld.WriteResource(h, {r.res_type, r.res_id, 0, r.data});
      continue;
    }
    // A record without an ID of its own, or with one an earlier record has, gets a new one.
    const uint32_t id = ids.insert(r.unique_id & 0xFFFFFF).second ? r.unique_id & 0xFFFFFF : 0;
    uint32_t given = 0;
    s = handheld.WriteRecord(
        h, {id, 0, uint8_t(r.attributes & 0xF0), uint8_t(r.category & 0x0F), r.data}, &given);
  }
  if (s != kOk) {
    // Half a database is none: it goes, as on a handheld whose HotSync was cut short.
    if (handheld.CloseDb(h) == kOk) handheld.DeleteDb(db.name);
    return s;
  }
  return handheld.CloseDb(h);
}

}  // namespace

bool QueueForInstall(const Desktop& desktop, const HsUserRecord& user,
                     const std::vector<std::string>& files) {
  const std::string folder = nb::MapPath(InstallFolder(desktop, user));
  std::string error;
  // All or nothing: a bad file among them queues none.
  for (const std::string& file : files) {
    if (!HandheldDatabase(file, &error)) {
      Complain("cannot install " + file + ": " + error);
      return false;
    }
  }
  if (!nb::MakeDirs(folder)) {
    Complain("cannot create the install folder " + folder + ": " + std::strerror(errno));
    return false;
  }
  for (const std::string& file : files) {
    const std::string name = std::filesystem::path(file).filename();
    // Whole or not at all: the next synchronisation installs whatever lies there.
    if (!nb::CopyFileDurably(file, folder + "/" + name, &error)) {
      Complain("cannot copy " + file + " to " + folder + ": " + error);
      return false;
    }
    Say("queued " + name + " for \"" + std::string(user.name) + "\" in " + folder);
  }
  SetInstallFlag(desktop, user.id, 1);
  return true;
}

bool InstallWaitingFiles(const Desktop& desktop, const HsUserRecord& user,
                         nb::dlp::Handheld& handheld, SyncLog& log, bool* link_lost) {
  const std::string folder = nb::MapPath(InstallFolder(desktop, user));
  // A copy into the folder that was killed half-way left only its temporary; the flag is
  // set after the copies, so a copy cut short may have left it unset.
  for (const std::string& name : nb::RemoveAbandonedTemporaries(folder))
    log.Note("removed " + name + ", the remains of an unfinished copy into " + folder);
  // As HotSync, only for a user flagged for installation.
  if (!InstallFlagSet(desktop, user.id)) return true;
  const std::vector<std::string> files = FilesIn(folder);
  if (files.empty()) {
    ClearInstallFlag(desktop, user.id);
    return true;
  }
  std::string error;
  bool ok = true;
  bool databases_left = false;  // they keep the flag, so the next synchronisation retries
  for (const std::string& file : files) {
    const std::string path = folder + "/" + file;
    auto db = HandheldDatabase(path, &error);
    if (db) error = TooBigForTheHandheld(*db);
    if (!db || !error.empty()) {
      log.Problem("cannot install " + file + ": " + error + " (it stays in " + folder + ")");
      ok = false;
      continue;
    }
    if (nb::dlp::Status s = Install(handheld, *db)) {
      if (s == nb::dlp::kLinkLost) {
        *link_lost = true;
        return false;
      }
      log.Problem("cannot install " + file + ": the handheld answered \"" + nb::dlp::StatusText(s) +
                  "\" (it stays in " + folder + ")");
      ok = false;
      databases_left = true;
      continue;
    }
    if (nb::TheOs().Unlink(path.c_str()) != 0) {
      log.Problem("installed " + file + " but cannot remove it: " + std::strerror(errno));
      ok = false;
      continue;
    }
    Say("HotSync: installed \"" + db->name + "\" from " + file);
    log.Note("installed \"" + db->name + "\" on the handheld from " + file);
  }
  if (!databases_left) ClearInstallFlag(desktop, user.id);
  return ok;
}

}  // namespace hotsync
