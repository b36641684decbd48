#include "platform/prefix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "folder_names.h"
#include "platform/durable_folder.h"
#include "platform/os.h"

namespace nb {
namespace {

// The entry of `dir` that equals `name` without regard to case, or `name` itself.
std::string MatchComponent(const std::string& dir, const std::string& name) {
  std::string exact = dir + "/" + name;
  if (Exists(exact)) return name;
  std::string found = FindIgnoringCase(dir, name);
  return found.empty() ? name : found;
}

std::vector<std::string> SplitComponents(const std::string& path) {
  std::vector<std::string> parts;
  std::string cur;
  for (char c : path) {
    if (c == '\\' || c == '/') {
      if (!cur.empty()) parts.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) parts.push_back(cur);
  return parts;
}

}  // namespace

std::string Prefix() {
  const char* p = getenv("NB_PREFIX");
  std::string prefix;
  if (p && *p) {
    prefix = p;
  } else {
    const char* home = getenv("HOME");
    prefix = std::string(home && *home ? home : "/tmp") + "/.nimbra";
  }
  while (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
  return prefix;
}

namespace {

// Makes `dir` a folder only this user may enter; false when it is not one (a planted
// link, another user's folder).
bool MakePrivateFolder(const std::string& dir) {
  Os& os = TheOs();
  os.Mkdir(dir.c_str(), 0700);
  const int fd = os.Open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0);
  if (fd < 0) return false;
  struct stat st;
  const bool mine = os.Fstat(fd, &st) == 0 && st.st_uid == geteuid();
  if (mine && (st.st_mode & 077)) os.Fchmod(fd, 0700);
  os.Close(fd);
  return mine;
}

// The session's runtime folder when it is fit for sockets: absolute, a real folder of
// this user that nobody else may enter. Empty otherwise.
std::string SessionRuntimeFolder() {
  const char* x = getenv("XDG_RUNTIME_DIR");
  if (!x || x[0] != '/') return "";
  struct stat st;
  if (TheOs().Lstat(x, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid() ||
      (st.st_mode & 077))
    return "";
  std::string dir = x;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

// Names the desktop folder whatever way it was reached (relative, through links): its
// resolved path and its inode, so a desktop made again at the same path starts afresh.
std::string DesktopIdentity(const std::string& prefix) {
  // Asked for at every endpoint lookup: the last answer is kept per thread.
  thread_local std::string last_prefix, last_identity;
  if (!last_prefix.empty() && prefix == last_prefix) return last_identity;
  Os& os = TheOs();
  const int fd = os.Open(prefix.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (fd < 0) return prefix;
  std::string path = prefix;
  os.Readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), &path);
  struct stat st;
  if (os.Fstat(fd, &st) == 0)
    path += "\n" + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
  os.Close(fd);
  last_prefix = prefix;
  last_identity = path;
  return path;
}

// Bus endpoints are <folder>/windows/<pid>-<n>-<program>.sock; leaving this much room
// keeps them inside sun_path.
constexpr size_t kLongestRuntimeFolder = 60;

std::string RuntimeFolderName(const std::string& session, const std::string& identity) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : identity) {
    h ^= c;
    h *= 1099511628211ull;
  }
  char id[17];
  snprintf(id, sizeof id, "%016llx", static_cast<unsigned long long>(h));
  return session + "/nimbra/" + id;
}

}  // namespace

std::string RunDir() {
  // Private to the user: whoever can write here can queue commands and send messages.
  const std::string prefix = Prefix();
  MakeDirs(prefix);
  const std::string session = SessionRuntimeFolder();
  if (!session.empty()) {
    const std::string run = RuntimeFolderName(session, DesktopIdentity(prefix));
    if (run.size() <= kLongestRuntimeFolder && MakePrivateFolder(session + "/nimbra") &&
        MakePrivateFolder(run))
      return run;
  }
  const std::string run = prefix + "/run";
  MakePrivateFolder(run);
  return run;
}

std::string MapPath(const std::string& windows_path) {
  const std::string& p = windows_path;
  if (!p.empty() && p[0] == '/') return p;
  bool drive = p.size() >= 2 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':';
  if (!drive) {
    std::string out = p;
    for (char& c : out)
      if (c == '\\') c = '/';
    return out;
  }
  std::string root =
      Prefix() + "/drive_" + static_cast<char>(std::tolower(static_cast<unsigned char>(p[0])));
  std::string out = root;
  for (const std::string& part : SplitComponents(p.substr(2))) {
    out += "/" + MatchComponent(out, part);
  }
  // Keep a trailing separator: callers build folder names by appending file names.
  if (p.size() > 2 && (p.back() == '\\' || p.back() == '/')) out += '/';
  return out;
}

bool IsPlainFileName(std::string_view name, std::string* why) {
  const char* reason = nullptr;
  if (name.empty() || name == "." || name == "..") {
    reason = "names no file";
  } else if (name.find_first_of("/\\") != std::string_view::npos) {
    reason = "names another folder";
  } else if (name.size() >= 2 && std::isalpha(static_cast<unsigned char>(name[0])) &&
             name[1] == ':') {
    reason = "names a drive";
  } else {
    for (unsigned char c : name)
      if (c < 0x20) reason = "holds a control character";
  }
  if (reason && why) *why = "the file name \"" + std::string(name) + "\" " + reason;
  return !reason;
}

bool MakeDirs(const std::string& posix_path) {
  return !posix_path.empty() && MakeFolderDurably(posix_path);
}

}  // namespace nb
