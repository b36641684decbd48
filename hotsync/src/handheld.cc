#include "handheld.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pdbfile/bytes.h"
#include "platform/os.h"
#include "platform/profile.h"

namespace hotsync {
namespace {

constexpr char kSection[] = "Handheld";
const char kHex[] = "0123456789ABCDEF";

bool NeedsEscape(unsigned char c) { return c == '/' || c == '%' || c < 0x20 || c == 0x7F; }

int HexValue(char c) {
  const char* p = std::strchr(kHex, c);
  return c && p ? int(p - kHex) : -1;
}

bool EndsWith(const std::string& s, const char* suffix) {
  size_t n = std::strlen(suffix);
  return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

bool IsFile(const std::string& path) {
  struct stat st;
  return nb::TheOs().Stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The header fields List needs, from the first bytes of the file only.
bool ReadHeader(const std::string& path, DatabaseInfo* info, std::string* error) {
  nb::Os& os = nb::TheOs();
  int fd = os.Open(path.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) {
    *error = std::strerror(errno);
    return false;
  }
  uint8_t h[nb::pdb::kHeaderSize];
  ssize_t n = os.PRead(fd, h, sizeof h, 0);
  os.Close(fd);
  if (n != ssize_t(sizeof h)) {
    *error = "file shorter than the database header";
    return false;
  }
  nb::pdb::Reader in(h);
  info->name = in.Fixed(32);
  info->attributes = in.U16();
  info->version = in.U16();
  info->created = in.U32();
  info->modified = in.U32();
  info->backed_up = in.U32();
  info->mod_number = in.U32();
  in.Skip(4 * 2);
  info->type = in.U32();
  info->creator = in.U32();
  return true;
}

}  // namespace

std::string DatabaseFileName(const std::string& name, bool resource) {
  std::string out;
  for (unsigned char c : name) {
    if (NeedsEscape(c)) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += char(c);
    }
  }
  return out + (resource ? ".prc" : ".pdb");
}

bool DatabaseNameOf(const std::string& file_name, std::string* name) {
  const bool resource = EndsWith(file_name, ".prc");
  if (!resource && !EndsWith(file_name, ".pdb")) return false;
  const std::string stem = file_name.substr(0, file_name.size() - 4);
  std::string decoded;
  for (size_t i = 0; i < stem.size(); ++i) {
    if (stem[i] != '%') {
      decoded += stem[i];
      continue;
    }
    if (i + 2 >= stem.size()) return false;
    int hi = HexValue(stem[i + 1]), lo = HexValue(stem[i + 2]);
    if (hi < 0 || lo < 0) return false;
    decoded += char(hi << 4 | lo);
    i += 2;
  }
  // Only the one spelling DatabaseFileName produces stands for a database.
  if (!ValidDatabaseName(decoded) || DatabaseFileName(decoded, resource) != file_name) return false;
  *name = decoded;
  return true;
}

bool ValidDatabaseName(const std::string& name) {
  return !name.empty() && name.size() <= kMaxDatabaseName && name.find('\0') == std::string::npos;
}

std::optional<Handheld> Handheld::Open(const std::string& folder, std::string* error) {
  struct stat st;
  if (nb::TheOs().Stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    *error = "there is no handheld folder " + folder;
    return std::nullopt;
  }
  bool exists = false;
  nb::Profile p = nb::Profile::Load(folder + "/" + kHandheldProfile, &exists);
  if (!exists) {
    *error = folder + " is not a virtual handheld: it has no " + kHandheldProfile;
    return std::nullopt;
  }
  Handheld h;
  h.folder_ = folder;
  nb::dlp::UserInfo& u = h.user_;
  struct {
    const char* key;
    uint32_t* value;
  } numbers[] = {{"UserID", &u.user_id},
                 {"ViewerID", &u.viewer_id},
                 {"LastSyncPC", &u.last_sync_pc},
                 {"SuccessfulSync", &u.successful_sync},
                 {"LastSync", &u.last_sync}};
  for (const auto& n : numbers) {
    const std::string text = p.Get(kSection, n.key, "0");
    errno = 0;
    char* end = nullptr;
    unsigned long long v = std::strtoull(text.c_str(), &end, 10);
    if (text.empty() || !std::isdigit(uint8_t(text[0])) || *end || errno || v > 0xFFFFFFFFull) {
      *error = std::string(kHandheldProfile) + " of " + folder + ": " + n.key + " \"" + text +
               "\" is not a decimal number";
      return std::nullopt;
    }
    *n.value = uint32_t(v);
  }
  // No name and no ID: a handheld whose user the first synchronisation gives it.
  u.user_name = p.Get(kSection, "UserName");
  if ((u.user_name.empty() && u.user_id != 0) || u.user_name.size() > 31) {
    *error = std::string(kHandheldProfile) + " of " + folder +
             " needs a UserName of 1 to 31 characters in [Handheld]";
    return std::nullopt;
  }
  return h;
}

bool Handheld::SetUser(const std::string& name, uint32_t id, std::string* error) {
  nb::dlp::UserInfo user = user_;
  user.user_name = name;
  user.user_id = id;
  return SetUserInfo(user, error);
}

bool Handheld::SetUserInfo(const nb::dlp::UserInfo& user, std::string* error) {
  const std::string path = folder_ + "/" + kHandheldProfile;
  nb::Profile p = nb::Profile::Load(path);
  p.Set(kSection, "UserName", user.user_name);
  p.Set(kSection, "UserID", std::to_string(user.user_id));
  p.Set(kSection, "ViewerID", std::to_string(user.viewer_id));
  p.Set(kSection, "LastSyncPC", std::to_string(user.last_sync_pc));
  p.Set(kSection, "SuccessfulSync", std::to_string(user.successful_sync));
  p.Set(kSection, "LastSync", std::to_string(user.last_sync));
  if (!p.Save(path, error)) return false;
  user_ = user;
  return true;
}

std::vector<DatabaseInfo> Handheld::List(std::vector<std::string>* problems) const {
  std::vector<DatabaseInfo> out;
  std::vector<std::string> files;
  nb::TheOs().ListFolder(folder_.c_str(), &files);
  for (const std::string& file : files) {
    std::string name;
    if (!DatabaseNameOf(file, &name)) continue;
    const std::string path = folder_ + "/" + file;
    if (!IsFile(path)) continue;
    DatabaseInfo info;
    std::string why;
    if (!ReadHeader(path, &info, &why)) {
      if (problems) problems->push_back(file + ": " + why);
      continue;
    }
    if (info.name != name) {
      if (problems) problems->push_back(file + ": holds the database \"" + info.name + "\"");
      continue;
    }
    info.file = file;
    out.push_back(std::move(info));
  }
  std::sort(out.begin(), out.end(),
            [](const DatabaseInfo& a, const DatabaseInfo& b) { return a.name < b.name; });
  return out;
}

std::string Handheld::FileOf(const std::string& name) const {
  if (!ValidDatabaseName(name)) return "";
  for (bool resource : {false, true}) {
    std::string path = folder_ + "/" + DatabaseFileName(name, resource);
    if (IsFile(path)) return path;
  }
  return "";
}

bool Handheld::Exists(const std::string& name) const { return !FileOf(name).empty(); }

std::optional<nb::pdb::Database> Handheld::Read(const std::string& name, std::string* error) const {
  const std::string path = FileOf(name);
  if (path.empty()) {
    *error = "no database \"" + name + "\" on the handheld";
    return std::nullopt;
  }
  std::string why;
  auto db = nb::pdb::ReadFile(path, &why);
  if (!db) {
    *error = "the database file " + path + " is damaged: " + why;
    return std::nullopt;
  }
  if (db->name != name) {
    *error = "the database file " + path + " holds the database \"" + db->name + "\"";
    return std::nullopt;
  }
  return db;
}

bool Handheld::Write(const nb::pdb::Database& db, std::string* error) const {
  if (!ValidDatabaseName(db.name)) {
    *error = "\"" + db.name + "\" is not a database name (1 to 31 characters)";
    return false;
  }
  const std::string path = folder_ + "/" + DatabaseFileName(db.name, db.IsResource());
  if (!nb::pdb::WriteFile(path, db, {}, error)) return false;
  const std::string other = folder_ + "/" + DatabaseFileName(db.name, !db.IsResource());
  if (IsFile(other) && nb::TheOs().Unlink(other.c_str()) != 0) {
    *error = "cannot remove " + other + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool Handheld::Remove(const std::string& name, std::string* error) const {
  const std::string path = FileOf(name);
  if (path.empty()) {
    *error = "no database \"" + name + "\" on the handheld";
    return false;
  }
  if (nb::TheOs().Unlink(path.c_str()) != 0) {
    *error = "cannot remove " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

std::vector<std::string> Handheld::RemoveUnfinishedWrites() const {
  return nb::RemoveAbandonedTemporaries(folder_);
}

std::unique_ptr<HandheldLock> HandheldLock::Acquire(const std::string& folder, std::string* error) {
  nb::Os& os = nb::TheOs();
  int fd = os.Open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (fd < 0) {
    *error = "cannot open the handheld folder " + folder + ": " + std::strerror(errno);
    return nullptr;
  }
  if (os.Flock(fd, LOCK_EX | LOCK_NB) != 0) {
    *error = "the handheld " + folder + " is in use by another synchronisation";
    os.Close(fd);
    return nullptr;
  }
  return std::unique_ptr<HandheldLock>(new HandheldLock(fd));
}

HandheldLock::~HandheldLock() { nb::TheOs().Close(fd_); }

uint32_t HandheldNow() { return nb::pdb::LocalTimeNow(); }

namespace {

using nb::dlp::Status;
using nb::pdb::Database;
using nb::pdb::Record;

constexpr int kMaxOpen = 16;
// Entries per ReadDbList answer, as a handheld pages its list.
constexpr size_t kListPage = 16;
// The handheld's limits: 16-bit sizes and record counts, 24-bit unique IDs.
constexpr size_t kMaxBlock = 0xFFFF;
constexpr size_t kMaxRecords = 0xFFFF;
constexpr uint32_t kUniqueIdMask = 0xFFFFFF;

nb::dlp::DbInfo InfoOf(const Database& db) {
  nb::dlp::DbInfo info;
  info.name = db.name;
  info.attributes = db.attributes;
  info.type = db.type;
  info.creator = db.creator;
  info.version = db.version;
  info.mod_number = db.mod_number;
  info.created = db.created;
  info.modified = db.modified;
  info.backed_up = db.backed_up;
  return info;
}

uint32_t LastUniqueId(const Database& db) {
  uint32_t id = db.unique_id_seed & kUniqueIdMask;
  for (const Record& r : db.records) id = std::max(id, r.unique_id & kUniqueIdMask);
  return id;
}

uint32_t NextUniqueId(Database& db, uint32_t* last_id) {
  *last_id = (*last_id + 1) & kUniqueIdMask;
  if (*last_id == 0) *last_id = 1;
  db.unique_id_seed = *last_id;
  return *last_id;
}

// Records without an ID of their own (files made on the desktop often have none) get one,
// as the handheld gives them when such a file is installed: IDs must tell records apart.
void GiveUniqueIds(Database& db, uint32_t* last_id) {
  if (db.IsResource()) return;
  std::set<uint32_t> seen;
  for (Record& r : db.records)
    if (r.unique_id == 0 || !seen.insert(r.unique_id).second)
      r.unique_id = NextUniqueId(db, last_id);
}

}  // namespace

std::unique_ptr<FolderHandheld> FolderHandheld::Open(const std::string& folder, CommitAt commit,
                                                     std::string* error, bool* busy) {
  if (busy) *busy = false;
  // The folder's own faults come first; it is read again under the lock, since the
  // synchronisation that held it may have changed it.
  if (!hotsync::Handheld::Open(folder, error)) return nullptr;
  auto lock = HandheldLock::Acquire(folder, error);
  if (!lock) {
    if (busy) *busy = true;
    return nullptr;
  }
  auto store = hotsync::Handheld::Open(folder, error);
  if (!store) return nullptr;
  std::unique_ptr<FolderHandheld> h(new FolderHandheld(std::move(*store), commit));
  h->lock_ = std::move(lock);
  h->user_ = h->store_.user();
  for (const std::string& file : h->store_.RemoveUnfinishedWrites())
    h->Report("removed " + file + ", left by an interrupted synchronisation");
  return h;
}

FolderHandheld::~FolderHandheld() = default;

void FolderHandheld::Report(const std::string& text) const {
  if (report_)
    report_(text);
  else
    std::fprintf(stderr, "handheld %s: %s\n", folder().c_str(), text.c_str());
}

bool FolderHandheld::Exists(const std::string& name) const {
  for (const auto& [handle, o] : open_)
    if (o.db.name == name) return true;
  if (pending_.count(name)) return true;
  return !deleted_.count(name) && store_.Exists(name);
}

FolderHandheld::OpenDatabase* FolderHandheld::FindOpen(const std::string& name) {
  for (auto& [handle, o] : open_)
    if (o.db.name == name) return &o;
  return nullptr;
}

FolderHandheld::OpenDatabase* FolderHandheld::Use(uint8_t handle, bool write, Status* status) {
  auto it = open_.find(handle);
  if (ended_) {
    *status = nb::dlp::kLinkLost;
  } else if (it == open_.end()) {
    *status = nb::dlp::kErrNoneOpen;
  } else if (write && !(it->second.mode & nb::dlp::kOpenWrite)) {
    *status = nb::dlp::kErrReadOnly;
  } else {
    *status = nb::dlp::kOk;
    return &it->second;
  }
  return nullptr;
}

// Writes a database now, or keeps it for EndOfSync.
bool FolderHandheld::Store(const Database& db) {
  deleted_.erase(db.name);
  if (commit_ == CommitAt::kEndOfSync) {
    pending_[db.name] = db;
    return true;
  }
  std::string error;
  if (store_.Write(db, &error)) return true;
  Report(error);
  return false;
}

Status FolderHandheld::ReadUserInfo(nb::dlp::UserInfo* info) {
  if (ended_) return nb::dlp::kLinkLost;
  *info = user_;
  return nb::dlp::kOk;
}

Status FolderHandheld::WriteUserInfo(const nb::dlp::UserInfo& info, uint8_t modify) {
  if (ended_) return nb::dlp::kLinkLost;
  if ((modify & nb::dlp::kModUserName) && info.user_name.size() > 31) return nb::dlp::kErrParam;
  nb::dlp::UserInfo u = user_;
  if (modify & nb::dlp::kModUserId) u.user_id = info.user_id;
  if (modify & nb::dlp::kModViewerId) u.viewer_id = info.viewer_id;
  if (modify & nb::dlp::kModLastSyncPc) u.last_sync_pc = info.last_sync_pc;
  if (modify & nb::dlp::kModSyncDate) {
    u.last_sync = info.last_sync;
    u.successful_sync = info.successful_sync;
  }
  if (modify & nb::dlp::kModUserName) u.user_name = info.user_name;
  if (commit_ == CommitAt::kClose) {
    std::string error;
    if (!store_.SetUserInfo(u, &error)) {
      Report(error);
      return nb::dlp::kErrSystem;
    }
  } else {
    user_changed_ = true;
  }
  user_ = u;
  return nb::dlp::kOk;
}

Status FolderHandheld::ReadSysInfo(nb::dlp::SysInfo* info) {
  if (ended_) return nb::dlp::kLinkLost;
  *info = nb::dlp::SysInfo{};
  info->rom_version = 0x05003000;  // 5.0, release
  info->locale = 0x00000017;       // English, United States
  info->product_id = "vhh1";
  return nb::dlp::kOk;
}

Status FolderHandheld::ReadDbList(uint16_t start, std::vector<nb::dlp::DbInfo>* dbs) {
  if (ended_) return nb::dlp::kLinkLost;
  std::map<std::string, nb::dlp::DbInfo> all;
  std::vector<std::string> problems;
  // Each unusable file is told once per synchronisation.
  for (const DatabaseInfo& d : store_.List(problems_told_ ? nullptr : &problems)) {
    if (deleted_.count(d.name)) continue;
    nb::dlp::DbInfo& info = all[d.name];
    info.name = d.name;
    info.attributes = d.attributes;
    info.type = d.type;
    info.creator = d.creator;
    info.version = d.version;
    info.mod_number = d.mod_number;
    info.created = d.created;
    info.modified = d.modified;
    info.backed_up = d.backed_up;
  }
  for (const std::string& p : problems) Report("not a usable database file: " + p);
  problems_told_ = true;
  for (const auto& [name, db] : pending_) all[name] = InfoOf(db);
  for (const auto& [handle, o] : open_)
    if (!all.count(o.db.name)) all[o.db.name] = InfoOf(o.db);
  dbs->clear();
  if (start >= all.size()) return nb::dlp::kErrNotFound;
  uint16_t index = 0;
  for (auto& [name, info] : all) {
    if (index >= start && dbs->size() < kListPage) {
      info.index = index;
      dbs->push_back(std::move(info));
    }
    ++index;
  }
  return nb::dlp::kOk;
}

Status FolderHandheld::OpenDb(const std::string& name, uint8_t mode, uint8_t* handle) {
  if (ended_) return nb::dlp::kLinkLost;
  if (!ValidDatabaseName(name)) return nb::dlp::kErrParam;
  if (!(mode & (nb::dlp::kOpenRead | nb::dlp::kOpenWrite))) mode |= nb::dlp::kOpenRead;
  if (OpenDatabase* other = FindOpen(name)) {
    // Shared reading is fine; exclusive use is not, nor two writers, whose write-backs
    // would undo each other.
    if ((mode & nb::dlp::kOpenExclusive) || (other->mode & nb::dlp::kOpenExclusive) ||
        ((mode & nb::dlp::kOpenWrite) && (other->mode & nb::dlp::kOpenWrite)))
      return nb::dlp::kErrDatabaseOpen;
  }
  uint8_t h = 1;
  while (h <= kMaxOpen && open_.count(h)) ++h;
  if (h > kMaxOpen) return nb::dlp::kErrTooManyOpen;
  if (deleted_.count(name)) return nb::dlp::kErrNotFound;
  OpenDatabase o;
  if (auto p = pending_.find(name); p != pending_.end()) {
    o.db = p->second;
  } else {
    std::string error;
    auto db = store_.Read(name, &error);
    if (!db) {
      if (store_.Exists(name)) Report(error);
      return nb::dlp::kErrNotFound;
    }
    o.db = std::move(*db);
  }
  if ((mode & nb::dlp::kOpenWrite) && (o.db.attributes & nb::dlp::kDbReadOnly))
    return nb::dlp::kErrReadOnly;
  o.last_id = LastUniqueId(o.db);
  GiveUniqueIds(o.db, &o.last_id);
  o.mode = mode;
  open_[h] = std::move(o);
  *handle = h;
  return nb::dlp::kOk;
}

Status FolderHandheld::CreateDb(const nb::dlp::CreateDb& new_db, uint8_t* handle) {
  if (ended_) return nb::dlp::kLinkLost;
  if (!ValidDatabaseName(new_db.name)) return nb::dlp::kErrParam;
  if (Exists(new_db.name)) return nb::dlp::kErrAlreadyExists;
  uint8_t h = 1;
  while (h <= kMaxOpen && open_.count(h)) ++h;
  if (h > kMaxOpen) return nb::dlp::kErrTooManyOpen;
  OpenDatabase& o = open_[h];
  o.db.name = new_db.name;
  o.db.attributes = new_db.attributes;
  o.db.version = new_db.version;
  o.db.type = new_db.type;
  o.db.creator = new_db.creator;
  o.db.created = o.db.modified = HandheldNow();
  o.mode = nb::dlp::kOpenRead | nb::dlp::kOpenWrite | nb::dlp::kOpenExclusive;
  // A new database reaches the handheld even when nothing is written into it.
  o.changed = true;
  *handle = h;
  return nb::dlp::kOk;
}

Status FolderHandheld::CloseDb(uint8_t handle) {
  Status status;
  OpenDatabase* o = Use(handle, false, &status);
  if (!o) return status;
  bool ok = true;
  if (o->changed) {
    o->db.modified = HandheldNow();
    ++o->db.mod_number;
    ok = Store(o->db);
  }
  open_.erase(handle);
  return ok ? nb::dlp::kOk : nb::dlp::kErrSystem;
}

Status FolderHandheld::DeleteDb(const std::string& name) {
  if (ended_) return nb::dlp::kLinkLost;
  if (!ValidDatabaseName(name)) return nb::dlp::kErrParam;
  if (FindOpen(name)) return nb::dlp::kErrDatabaseOpen;
  if (!Exists(name)) return nb::dlp::kErrNotFound;
  pending_.erase(name);
  if (store_.Exists(name)) deleted_.insert(name);
  return nb::dlp::kOk;
}

Status FolderHandheld::ReadOpenDbInfo(uint8_t handle, nb::dlp::DbInfo* info, uint16_t* count) {
  Status status;
  OpenDatabase* o = Use(handle, false, &status);
  if (!o) return status;
  *info = InfoOf(o->db);
  *count = uint16_t(o->db.records.size());
  return nb::dlp::kOk;
}

Status FolderHandheld::ReadAppBlock(uint8_t handle, std::vector<uint8_t>* block) {
  Status status;
  OpenDatabase* o = Use(handle, false, &status);
  if (!o) return status;
  if (o->db.app_info.empty()) return nb::dlp::kErrNotFound;
  *block = o->db.app_info;
  return nb::dlp::kOk;
}

Status FolderHandheld::WriteAppBlock(uint8_t handle, const std::vector<uint8_t>& block) {
  Status status;
  OpenDatabase* o = Use(handle, true, &status);
  if (!o) return status;
  if (block.size() > kMaxBlock) return nb::dlp::kErrParam;
  o->db.app_info = block;
  o->changed = true;
  return nb::dlp::kOk;
}

Status FolderHandheld::ReadRecordByIndex(uint8_t handle, uint16_t index,
                                         nb::dlp::RecordData* record) {
  Status status;
  OpenDatabase* o = Use(handle, false, &status);
  if (!o) return status;
  if (o->db.IsResource()) return nb::dlp::kErrIllegalRequest;
  if (index >= o->db.records.size()) return nb::dlp::kErrNotFound;
  const Record& r = o->db.records[index];
  record->id = r.unique_id;
  record->index = index;
  record->attributes = r.attributes & 0xF0;
  record->category = r.category & 0x0F;
  record->data = r.data;
  return nb::dlp::kOk;
}

Status FolderHandheld::WriteRecord(uint8_t handle, const nb::dlp::RecordData& record,
                                   uint32_t* id) {
  Status status;
  OpenDatabase* o = Use(handle, true, &status);
  if (!o) return status;
  Database& db = o->db;
  if (db.IsResource()) return nb::dlp::kErrIllegalRequest;
  if (record.data.size() > kMaxBlock) return nb::dlp::kErrParam;
  // A new record (ID 0) needs no search, so writing a whole database stays linear.
  Record* target = nullptr;
  const uint32_t wanted = record.id & kUniqueIdMask;
  if (wanted != 0)
    for (Record& r : db.records)
      if (r.unique_id == wanted) target = &r;
  if (!target) {
    if (db.records.size() >= kMaxRecords) return nb::dlp::kErrParam;
    db.records.emplace_back();
    target = &db.records.back();
    target->unique_id = wanted ? wanted : NextUniqueId(db, &o->last_id);
    o->last_id = std::max(o->last_id, target->unique_id);
  }
  target->data = record.data;
  target->attributes = record.attributes & 0xF0;
  target->category = record.category & 0x0F;
  *id = target->unique_id;
  o->changed = true;
  return nb::dlp::kOk;
}

Status FolderHandheld::ReadResourceByIndex(uint8_t handle, uint16_t index,
                                           nb::dlp::ResourceData* res) {
  Status status;
  OpenDatabase* o = Use(handle, false, &status);
  if (!o) return status;
  if (!o->db.IsResource()) return nb::dlp::kErrIllegalRequest;
  if (index >= o->db.records.size()) return nb::dlp::kErrNotFound;
  const Record& r = o->db.records[index];
  res->type = r.res_type;
  res->id = r.res_id;
  res->index = index;
  res->data = r.data;
  return nb::dlp::kOk;
}

Status FolderHandheld::WriteResource(uint8_t handle, const nb::dlp::ResourceData& res) {
  Status status;
  OpenDatabase* o = Use(handle, true, &status);
  if (!o) return status;
  Database& db = o->db;
  if (!db.IsResource()) return nb::dlp::kErrIllegalRequest;
  if (res.data.size() > kMaxBlock) return nb::dlp::kErrParam;
  Record* target = nullptr;
  for (Record& r : db.records)
    if (r.res_type == res.type && r.res_id == res.id) target = &r;
  if (!target) {
    if (db.records.size() >= kMaxRecords) return nb::dlp::kErrParam;
    db.records.emplace_back();
    target = &db.records.back();
    target->res_type = res.type;
    target->res_id = res.id;
  }
  target->data = res.data;
  o->changed = true;
  return nb::dlp::kOk;
}

Status FolderHandheld::ResetSyncFlags(uint8_t handle) {
  Status status;
  OpenDatabase* o = Use(handle, true, &status);
  if (!o) return status;
  for (Record& r : o->db.records) {
    if (!(r.attributes & nb::dlp::kRecDirty)) continue;
    r.attributes &= uint8_t(~nb::dlp::kRecDirty);
    o->changed = true;
  }
  return nb::dlp::kOk;
}

Status FolderHandheld::CleanUpDatabase(uint8_t handle) {
  Status status;
  OpenDatabase* o = Use(handle, true, &status);
  if (!o) return status;
  auto& recs = o->db.records;
  const size_t before = recs.size();
  recs.erase(std::remove_if(recs.begin(), recs.end(),
                            [](const Record& r) { return r.attributes & nb::dlp::kRecDeleted; }),
             recs.end());
  if (recs.size() != before) o->changed = true;
  return nb::dlp::kOk;
}

Status FolderHandheld::OpenConduit() { return ended_ ? nb::dlp::kLinkLost : nb::dlp::kOk; }

Status FolderHandheld::AddSyncLogEntry(const std::string& text) {
  if (ended_) return nb::dlp::kLinkLost;
  // The handheld keeps the log of its last synchronisation only.
  if (!log_begun_) log_.clear();
  log_begun_ = true;
  log_ += text;
  if (commit_ == CommitAt::kEndOfSync) {
    log_changed_ = true;
    return nb::dlp::kOk;
  }
  std::string error;
  if (nb::WriteFileDurably(folder() + "/" + kHandheldLog, log_, &error)) return nb::dlp::kOk;
  Report(error);
  return nb::dlp::kErrSystem;
}

Status FolderHandheld::KeepAlive() {
  if (ended_) return nb::dlp::kLinkLost;
  ++keep_alives_;
  return nb::dlp::kOk;
}

bool FolderHandheld::Commit() {
  bool ok = true;
  std::string error;
  for (const auto& [name, db] : pending_) {
    if (store_.Write(db, &error)) continue;
    Report(error);
    ok = false;
  }
  pending_.clear();
  for (const std::string& name : deleted_) {
    if (store_.Remove(name, &error)) continue;
    Report(error);
    ok = false;
  }
  deleted_.clear();
  if (user_changed_ && !store_.SetUserInfo(user_, &error)) {
    Report(error);
    ok = false;
  }
  if (log_changed_ && !nb::WriteFileDurably(folder() + "/" + kHandheldLog, log_, &error)) {
    Report(error);
    ok = false;
  }
  user_changed_ = log_changed_ = false;
  return ok;
}

Status FolderHandheld::EndOfSync(uint16_t) {
  if (ended_) return nb::dlp::kLinkLost;
  // What is still open closes as the handheld closes it on leaving HotSync.
  bool ok = true;
  while (!open_.empty()) ok = CloseDb(open_.begin()->first) == nb::dlp::kOk && ok;
  ok = Commit() && ok;
  ended_ = true;
  return ok ? nb::dlp::kOk : nb::dlp::kErrSystem;
}

}  // namespace hotsync
