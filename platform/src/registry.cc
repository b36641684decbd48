#include "platform/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

#include "platform/os.h"
#include "platform/prefix.h"
#include "reg_text.h"

namespace nb::reg {
namespace {

struct Key {
  std::string name;
  std::vector<std::pair<std::string, Value>> values;
  std::vector<Key> children;
};

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

std::vector<std::string> SplitPath(const std::string& key) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : key) {
    if (c == '\\') {
      if (!cur.empty()) parts.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) parts.push_back(cur);
  return parts;
}

// Names that would break the line-oriented file are refused rather than mangled.
bool ValidName(const std::string& s) {
  return s.find('\n') == std::string::npos && s.find('\r') == std::string::npos;
}

template <typename K>
K* Child(K& k, const std::string& name) {
  for (K& c : k.children)
    if (SameName(c.name, name)) return &c;
  return nullptr;
}

template <typename K>
K* Find(K& root, const std::string& key) {
  K* k = &root;
  for (const std::string& part : SplitPath(key)) {
    k = Child(*k, part);
    if (!k) return nullptr;
  }
  return k;
}

Key* FindOrCreate(Key& root, const std::vector<std::string>& parts) {
  Key* k = &root;
  for (const std::string& part : parts) {
    Key* c = Child(*k, part);
    if (!c) {
      k->children.push_back(Key{part, {}, {}});
      c = &k->children.back();
    }
    k = c;
  }
  return k;
}

template <typename K>
auto* FindValue(K& k, const std::string& name) {
  for (auto& v : k.values)
    if (SameName(v.first, name)) return &v;
  return static_cast<decltype(&k.values[0])>(nullptr);
}

// ---- Text form ----

void WriteKey(const Key& k, const std::string& full, std::string& out, bool is_root) {
  // The hive root has no key of its own in the file unless it holds values.
  if (!is_root || !k.values.empty()) {
    out += "[" + full + "]\n";
    for (const auto& [name, v] : k.values) out += text::ValueLine(name, v) + "\n";
    out += "\n";
  }
  for (const Key& c : k.children) WriteKey(c, full + "\\" + c.name, out, false);
}

void SetIn(Key& k, const std::string& name, const Value& v) {
  if (auto* existing = FindValue(k, name)) {
    // Keep the stored spelling of the name; only the data changes.
    existing->second = v;
  } else {
    k.values.emplace_back(name, v);
  }
}

bool EraseValue(Key& k, const std::string& name) {
  for (auto it = k.values.begin(); it != k.values.end(); ++it) {
    if (SameName(it->first, name)) {
      k.values.erase(it);
      return true;
    }
  }
  return false;
}

bool EraseKey(Key& root, const std::string& key) {
  std::vector<std::string> parts = SplitPath(key);
  if (parts.empty()) return false;
  std::string leaf = parts.back();
  parts.pop_back();
  Key* parent = &root;
  for (const std::string& p : parts) {
    parent = Child(*parent, p);
    if (!parent) return false;
  }
  for (auto it = parent->children.begin(); it != parent->children.end(); ++it) {
    if (SameName(it->name, leaf)) {
      parent->children.erase(it);
      return true;
    }
  }
  return false;
}

void Apply(Key& root, const text::Change& c) {
  using Op = text::Change::Op;
  switch (c.op) {
    case Op::kKey:
      FindOrCreate(root, SplitPath(c.path));
      break;
    case Op::kDeleteKey:
      EraseKey(root, c.path);
      break;
    case Op::kValue:
      SetIn(*FindOrCreate(root, SplitPath(c.path)), c.name, c.value);
      break;
    case Op::kDeleteValue:
      if (Key* k = Find(root, c.path)) EraseValue(*k, c.name);
      break;
  }
}

// A hive file holds its own hive's keys and values only. `error` tells the first line that
// is not understood; what comes before it is in the result.
Key ParseHiveFile(const std::string& bytes, Hive hive, std::string& error) {
  text::Parsed parsed = text::Parse(bytes);
  Key root;
  for (const text::Change& c : parsed.changes) {
    bool deletion = c.op == text::Change::Op::kDeleteKey || c.op == text::Change::Op::kDeleteValue;
    if (c.hive != hive || deletion) {
      parsed.error_line = c.line;
      parsed.error = deletion ? "a deletion" : std::string("a key of ") + HiveName(c.hive);
      break;
    }
    Apply(root, c);
  }
  error.clear();
  if (parsed.error_line) error = "line " + std::to_string(parsed.error_line) + ": " + parsed.error;
  return root;
}

thread_local std::string g_last_error;

bool Failed(const std::string& message) {
  g_last_error = message;
  return false;
}

// ---- Files and locks ----

std::string HivePath(Hive hive) {
  return Prefix() + (hive == Hive::kLocalMachine ? "/system.reg" : "/user.reg");
}

class FileLock {
 public:
  FileLock(const std::string& path, int op) {
    fd_ = TheOs().Open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd_ < 0) return;
    while (TheOs().Flock(fd_, op) != 0) {
      if (errno != EINTR) {
        TheOs().Close(fd_);
        fd_ = -1;
        return;
      }
    }
  }
  ~FileLock() {
    if (fd_ >= 0) TheOs().Close(fd_);
  }
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

struct Cache {
  std::string path;
  bool valid = false;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  timespec mtime{};
  Key root;
  std::string error;
};

std::mutex g_cache_mu;
Cache g_cache[2];

bool ReadAll(const std::string& path, std::string& out) { return ReadWholeFile(path, &out); }

// Caller holds the file lock. False when the file exists but cannot be read; `error` tells
// what of it was not understood, so that a change never overwrites data it could not see.
bool LoadLocked(Hive hive, const std::string& path, bool use_cache, Key& out, std::string& error) {
  out = Key{};
  error.clear();
  struct stat st;
  if (TheOs().Stat(path.c_str(), &st) != 0) return errno == ENOENT;
  Cache& c = g_cache[hive == Hive::kLocalMachine ? 0 : 1];
  // A file replaced within one timestamp tick may reuse the inode, size and mtime of the
  // cached one, so only files older than that are trusted to the cache.
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  use_cache = use_cache && now.tv_sec - st.st_mtim.tv_sec >= 2;
  if (use_cache) {
    std::lock_guard<std::mutex> g(g_cache_mu);
    if (c.valid && c.path == path && c.dev == st.st_dev && c.ino == st.st_ino &&
        c.size == st.st_size && c.mtime.tv_sec == st.st_mtim.tv_sec &&
        c.mtime.tv_nsec == st.st_mtim.tv_nsec) {
      out = c.root;
      error = c.error;
      return true;
    }
  }
  std::string text;
  if (!ReadAll(path, text)) return false;
  out = ParseHiveFile(text, hive, error);
  if (use_cache) {
    std::lock_guard<std::mutex> g(g_cache_mu);
    c = Cache{path, true, st.st_dev, st.st_ino, st.st_size, st.st_mtim, out, error};
  }
  return true;
}

Key Load(Hive hive) {
  std::string path = HivePath(hive);
  struct stat st;
  if (TheOs().Stat(path.c_str(), &st) != 0) return Key{};
  // Saves replace the file atomically, so an unlockable prefix still reads consistently.
  FileLock lock(path + ".lock", LOCK_SH);
  Key root;
  std::string error;  // reads see what was understood
  LoadLocked(hive, path, true, root, error);
  return root;
}

// Temporary files of killed writers of the hives.
void RemoveUnfinishedSaves(const std::string& path) { RemoveAbandonedTemporaries(FolderOf(path)); }

bool SaveLocked(Hive hive, const std::string& path, const Key& root) {
  RemoveUnfinishedSaves(path);
  std::string text = std::string(text::kHeader) + "\n\n";
  WriteKey(root, HiveName(hive), text, true);
  return WriteFileDurably(path, text);  // errno tells why it failed
}

// Runs `change` on the freshly read hive under the exclusive lock. `change` returns its
// result and sets `dirty` when the hive must be saved.
// A hive that was not wholly understood is never rewritten.
template <typename F>
bool Mutate(Hive hive, F change) {
  std::string prefix = Prefix();
  if (!MakeDirs(prefix)) return Failed("cannot create " + prefix + ": " + strerror(errno));
  std::string path = HivePath(hive);
  FileLock lock(path + ".lock", LOCK_EX);
  if (!lock.ok()) return Failed("cannot lock " + path + ".lock: " + strerror(errno));
  Key root;
  std::string error;
  if (!LoadLocked(hive, path, false, root, error))
    return Failed("cannot read " + path + ": " + strerror(errno));
  if (!error.empty()) return Failed(path + ", " + error + "; the file is left as it is");
  bool dirty = false;
  bool result = change(root, dirty);
  if (dirty && !SaveLocked(hive, path, root))
    return Failed("cannot save " + path + ": " + strerror(errno));
  return result;
}

}  // namespace

std::optional<Hive> ParseHive(const std::string& name) {
  if (SameName(name, "HKEY_LOCAL_MACHINE") || SameName(name, "HKLM")) return Hive::kLocalMachine;
  if (SameName(name, "HKEY_CURRENT_USER") || SameName(name, "HKCU")) return Hive::kCurrentUser;
  return std::nullopt;
}

const char* HiveName(Hive hive) {
  return hive == Hive::kLocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

bool KeyExists(Hive hive, const std::string& key) {
  Key root = Load(hive);
  return Find(root, key) != nullptr;
}

bool CreateKey(Hive hive, const std::string& key) {
  if (!ValidName(key)) return Failed("a key name holds a line break");
  if (KeyExists(hive, key)) return true;
  return Mutate(hive, [&](Key& root, bool& dirty) {
    if (!Find(root, key)) {
      FindOrCreate(root, SplitPath(key));
      dirty = true;
    }
    return true;
  });
}

bool DeleteKey(Hive hive, const std::string& key) {
  std::vector<std::string> parts = SplitPath(key);
  // The hive itself cannot go away.
  if (parts.empty() || !KeyExists(hive, key)) return false;
  return Mutate(hive, [&](Key& root, bool& dirty) { return dirty = EraseKey(root, key); });
}

std::optional<Value> GetValue(Hive hive, const std::string& key, const std::string& name) {
  Key root = Load(hive);
  const Key* k = Find(root, key);
  if (!k) return std::nullopt;
  auto* v = FindValue(*k, name);
  if (!v) return std::nullopt;
  return v->second;
}

std::optional<std::string> GetString(Hive hive, const std::string& key, const std::string& name) {
  std::optional<Value> v = GetValue(hive, key, name);
  if (!v || v->kind != Value::Kind::kString) return std::nullopt;
  return v->text;
}

std::optional<uint32_t> GetDword(Hive hive, const std::string& key, const std::string& name) {
  std::optional<Value> v = GetValue(hive, key, name);
  if (!v || v->kind != Value::Kind::kDword) return std::nullopt;
  return v->number;
}

namespace {

bool SetValue(Hive hive, const std::string& key, const std::string& name, const Value& value) {
  if (!ValidName(key) || !ValidName(name)) return Failed("a key or value name holds a line break");
  return Mutate(hive, [&](Key& root, bool& dirty) {
    SetIn(*FindOrCreate(root, SplitPath(key)), name, value);
    return dirty = true;
  });
}

}  // namespace

bool SetString(Hive hive, const std::string& key, const std::string& name, const std::string& v) {
  Value value;
  value.kind = Value::Kind::kString;
  value.text = v;
  return SetValue(hive, key, name, value);
}

bool SetDword(Hive hive, const std::string& key, const std::string& name, uint32_t v) {
  Value value;
  value.kind = Value::Kind::kDword;
  value.number = v;
  return SetValue(hive, key, name, value);
}

bool DeleteValue(Hive hive, const std::string& key, const std::string& name) {
  if (!GetValue(hive, key, name)) return false;
  return Mutate(hive, [&](Key& root, bool& dirty) {
    Key* k = Find(root, key);
    return dirty = k && EraseValue(*k, name);
  });
}

std::vector<std::string> SubKeys(Hive hive, const std::string& key) {
  Key root = Load(hive);
  std::vector<std::string> names;
  if (const Key* k = Find(root, key))
    for (const Key& c : k->children) names.push_back(c.name);
  return names;
}

std::vector<std::pair<std::string, Value>> Values(Hive hive, const std::string& key) {
  Key root = Load(hive);
  const Key* k = Find(root, key);
  return k ? k->values : std::vector<std::pair<std::string, Value>>{};
}

std::string Export(Hive hive, const std::string& key) {
  Key root = Load(hive);
  const Key* k = Find(root, key);
  if (!k) return std::string();
  // Use the stored spelling so the export matches the file byte for byte.
  std::string full = HiveName(hive);
  const Key* walk = &root;
  for (const std::string& part : SplitPath(key)) {
    walk = Child(*walk, part);
    full += "\\" + walk->name;
  }
  std::string out = std::string(text::kHeader) + "\n\n";
  WriteKey(*k, full, out, k == &root);
  return out;
}

std::string DataText(const Value& v) {
  std::string line = text::ValueLine("", v);
  return line.substr(2);  // after "@="
}

bool Import(const std::string& path) {
  std::string bytes;
  if (!ReadAll(path, bytes)) return Failed("cannot read " + path + ": " + strerror(errno));
  text::Parsed parsed = text::Parse(bytes);
  if (parsed.error_line)
    return Failed(path + ", line " + std::to_string(parsed.error_line) + ": " + parsed.error +
                  "; nothing imported");
  for (const text::Change& c : parsed.changes) {
    if (c.op == text::Change::Op::kDeleteKey && SplitPath(c.path).empty())
      return Failed(path + ", line " + std::to_string(c.line) +
                    ": a whole hive cannot be deleted; nothing imported");
  }
  for (Hive hive : {Hive::kLocalMachine, Hive::kCurrentUser}) {
    bool any = false;
    for (const text::Change& c : parsed.changes) any = any || c.hive == hive;
    if (!any) continue;
    bool ok = Mutate(hive, [&](Key& root, bool& dirty) {
      for (const text::Change& c : parsed.changes)
        if (c.hive == hive) Apply(root, c);
      return dirty = true;
    });
    if (!ok) return false;
  }
  return true;
}

const std::string& LastError() { return g_last_error; }

}  // namespace nb::reg
