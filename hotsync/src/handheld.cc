#include "handheld.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
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
  in.Skip(2 + 4 * 6);
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
  h.user_name_ = p.Get(kSection, "UserName");
  if (h.user_name_.empty() || h.user_name_.size() > 31) {
    *error = std::string(kHandheldProfile) + " of " + folder +
             " needs a UserName of 1 to 31 characters in [Handheld]";
    return std::nullopt;
  }
  const std::string id = p.Get(kSection, "UserID", "0");
  errno = 0;
  char* end = nullptr;
  unsigned long long v = std::strtoull(id.c_str(), &end, 10);
  if (id.empty() || !std::isdigit(uint8_t(id[0])) || *end || errno || v > 0xFFFFFFFFull) {
    *error = std::string(kHandheldProfile) + " of " + folder + ": UserID \"" + id +
             "\" is not a decimal number";
    return std::nullopt;
  }
  h.user_id_ = uint32_t(v);
  return h;
}

bool Handheld::SetUser(const std::string& name, uint32_t id, std::string* error) {
  const std::string path = folder_ + "/" + kHandheldProfile;
  nb::Profile p = nb::Profile::Load(path);
  p.Set(kSection, "UserName", name);
  p.Set(kSection, "UserID", std::to_string(id));
  if (!p.Save(path)) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  user_name_ = name;
  user_id_ = id;
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

}  // namespace hotsync
