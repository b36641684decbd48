// The OS seam with the calls that change files noted in order, for tests of what reaches the
// disk when: "mkdir P", "write P", "fsync P", "rename FROM", "unlink P", "msync"; P as opened,
// without a trailing slash. Install it with nb::ScopedOs.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/os.h"

namespace nb::testing {

class NotingOs : public nb::Os {
 public:
  std::vector<std::string> log;

  // The position of the last event that is `event`, or starts with it when it ends in '*'.
  long Last(const std::string& event) const {
    const bool stem = !event.empty() && event.back() == '*';
    const std::string want = stem ? event.substr(0, event.size() - 1) : event;
    for (long i = long(log.size()) - 1; i >= 0; --i)
      if (stem ? log[size_t(i)].rfind(want, 0) == 0 : log[size_t(i)] == want) return i;
    return -1;
  }

  int Open(const char* path, int flags, mode_t mode) override {
    const int fd = Os::Open(path, flags, mode);
    if (fd >= 0) paths_[fd] = Clean(path);
    return fd;
  }
  int Close(int fd) override { return paths_.erase(fd), Os::Close(fd); }
  int Mkdir(const char* path, mode_t mode) override {
    return Note("mkdir", path, Os::Mkdir(path, mode));
  }
  ssize_t Write(int fd, const void* data, size_t n) override {
    return Note("write", paths_[fd], Os::Write(fd, data, n));
  }
  ssize_t PWrite(int fd, const void* data, size_t n, off_t at) override {
    return Note("write", paths_[fd], Os::PWrite(fd, data, n, at));
  }
  int Fsync(int fd) override { return Note("fsync", paths_[fd], Os::Fsync(fd)); }
  int Rename(const char* from, const char* to) override {
    return Note("rename", from, Os::Rename(from, to));
  }
  int Unlink(const char* path) override { return Note("unlink", path, Os::Unlink(path)); }
  int Msync(void* at, size_t n, int flags) override {
    return Note("msync", "", Os::Msync(at, n, flags));
  }

 private:
  static std::string Clean(std::string path) {
    for (size_t at; (at = path.find("//")) != std::string::npos;) path.erase(at, 1);
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
  }
  template <typename R>
  R Note(const char* what, const std::string& path, R result) {
    log.push_back(path.empty() ? what : std::string(what) + " " + Clean(path));
    return result;
  }
  std::map<int, std::string> paths_;
};

}  // namespace nb::testing
