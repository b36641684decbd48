#include "folder_names.h"

#include <strings.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <mutex>
#include <set>
#include <unordered_map>
#include <vector>

#include "platform/os.h"

namespace nb {
namespace {

constexpr uint32_t kChanges = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF |
                              IN_MOVE_SELF | IN_ONLYDIR;
constexpr uint32_t kGone = IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT;
constexpr size_t kMaxFolders = 32;
constexpr size_t kMaxMisses = 256;

// As strcasecmp compares.
std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string ListAndFind(const std::string& dir, const std::string& name) {
  std::vector<std::string> entries;
  TheOs().ListFolder(dir.c_str(), &entries);
  std::string found;
  for (const std::string& entry : entries) {
    if (strcasecmp(entry.c_str(), name.c_str()) == 0 && (found.empty() || entry < found))
      found = entry;
  }
  return found;
}

struct Folder {
  int wd = -1;
  dev_t dev = 0;
  ino_t ino = 0;
  uint64_t used = 0;
  std::unordered_map<std::string, std::set<std::string>> names;  // lowered -> entries
};

class Cache {
 public:
  std::string Find(const std::string& dir, const std::string& name) {
    std::lock_guard<std::mutex> lock(mu_);
    if (pid_ != getpid()) Restart();
    struct stat st;
    if (TheOs().Stat(dir.c_str(), &st) != 0) return {};
    Drain();
    auto it = folders_.find(dir);
    // Another folder now under the same path.
    if (it != folders_.end() && (it->second.dev != st.st_dev || it->second.ino != st.st_ino)) {
      Drop(dir);
      it = folders_.end();
    }
    Folder* folder = it == folders_.end() ? nullptr : &it->second;
    // Only a folder asked about twice is watched: most programs map a new name or two.
    if (!folder && ++misses_[dir] >= 2) folder = Watch(dir, st);
    if (misses_.size() > kMaxMisses) misses_.clear();
    if (!folder) return ListAndFind(dir, name);
    folder->used = ++tick_;
    auto n = folder->names.find(Lower(name));
    return n == folder->names.end() ? std::string() : *n->second.begin();
  }

 private:
  // A forked child shares the parent's notices: it takes its own.
  void Restart() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    unavailable_ = false;
    folders_.clear();
    by_wd_.clear();
    misses_.clear();
    pid_ = getpid();
  }

  Folder* Watch(const std::string& dir, const struct stat& st) {
    if (unavailable_) return nullptr;
    if (fd_ < 0) fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) {
      unavailable_ = true;
      return nullptr;
    }
    if (folders_.size() >= kMaxFolders) {
      auto oldest = folders_.begin();
      for (auto f = folders_.begin(); f != folders_.end(); ++f)
        if (f->second.used < oldest->second.used) oldest = f;
      Drop(std::string(oldest->first));
    }
    // Watched before it is read, so that no change between the two goes unseen.
    const int wd = inotify_add_watch(fd_, dir.c_str(), kChanges);
    if (wd < 0 || by_wd_.count(wd)) return nullptr;  // none left, or watched under another path
    std::vector<std::string> entries;
    if (TheOs().ListFolder(dir.c_str(), &entries) != 0) {
      inotify_rm_watch(fd_, wd);
      return nullptr;
    }
    Folder& f = folders_[dir];
    f.wd = wd;
    f.dev = st.st_dev;
    f.ino = st.st_ino;
    for (const std::string& entry : entries) f.names[Lower(entry)].insert(entry);
    by_wd_[wd] = dir;
    Drain();
    auto it = folders_.find(dir);
    return it == folders_.end() ? nullptr : &it->second;
  }

  void Drop(const std::string& dir) {
    auto it = folders_.find(dir);
    if (it == folders_.end()) return;
    inotify_rm_watch(fd_, it->second.wd);
    by_wd_.erase(it->second.wd);
    folders_.erase(it);
  }

  // Applies the notices that arrived, in order.
  void Drain() {
    if (fd_ < 0) return;
    alignas(inotify_event) char buffer[16384];
    for (;;) {
      const ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      for (const char* p = buffer; p < buffer + n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(p);
        p += sizeof(inotify_event) + e->len;
        if (e->mask & IN_Q_OVERFLOW) {
          while (!folders_.empty()) Drop(std::string(folders_.begin()->first));
          continue;
        }
        auto w = by_wd_.find(e->wd);
        if (w == by_wd_.end()) continue;
        if (e->mask & kGone) {
          Drop(std::string(w->second));
          continue;
        }
        if (e->len == 0) continue;
        Folder& f = folders_[w->second];
        const std::string entry = e->name;
        if (e->mask & (IN_CREATE | IN_MOVED_TO)) f.names[Lower(entry)].insert(entry);
        if (e->mask & (IN_DELETE | IN_MOVED_FROM)) {
          auto s = f.names.find(Lower(entry));
          if (s != f.names.end() && s->second.erase(entry) && s->second.empty()) f.names.erase(s);
        }
      }
    }
  }

  std::mutex mu_;
  pid_t pid_ = 0;
  int fd_ = -1;
  bool unavailable_ = false;
  uint64_t tick_ = 0;
  std::unordered_map<std::string, Folder> folders_;
  std::unordered_map<int, std::string> by_wd_;
  std::unordered_map<std::string, int> misses_;
};

}  // namespace

std::string FindIgnoringCase(const std::string& dir, const std::string& name) {
  static Cache* cache = new Cache;  // lives to the process's end, for users in destructors
  const int saved = errno;
  std::string found = cache->Find(dir, name);
  errno = saved;
  return found;
}

}  // namespace nb
