#include "platform/prefix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
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

std::string RunDir() {
  std::string run = Prefix() + "/run";
  // Private to the user: whoever can write here can queue commands and send messages.
  MakeDirs(Prefix());
  Os& os = TheOs();
  os.Mkdir(run.c_str(), 0700);
  const int fd = os.Open(run.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0);
  struct stat st;
  if (fd >= 0 && os.Fstat(fd, &st) == 0 && st.st_uid == geteuid() && (st.st_mode & 077)) {
    os.Fchmod(fd, 0700);
  }
  if (fd >= 0) os.Close(fd);
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
