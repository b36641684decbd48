// A log of every change the processes make to files through the seam, for replaying what a
// power cut at any moment could leave on the disk (scripts/powercut reads it).
//
// RecordingOs passes every call to the Os it wraps (the plain one, or NB_FAULT's) and, for
// each call that changes a file or a folder and succeeds, appends one record to the log.
// Every process started with NB_RECORD=FILE appends to the same FILE; a call and its record
// happen under an exclusive lock of the log, so the records are in the order the calls
// returned, across processes and threads. Files are named by (st_dev, st_ino), taken when
// they are opened, so a record stays right after its file is renamed; paths are absolute,
// their folder resolved. Descriptors that are no regular file or folder (sockets, serial
// lines, pipes) are passed through unrecorded. A log that cannot be opened or written is
// reported once on stderr and recording stops; the calls themselves go on.
//
// The log: records one after another, little-endian, each
//   u32 size (of what follows) | u8 kind | u32 pid | fields
// where a file is u64 dev, u64 ino and a text is u32 length and its bytes:
//   1 open      file, u32 flags, u32 st_mode, text path   (opened for writing or created)
//   2 write     file, u64 offset, text bytes                (write and pwrite)
//   3 truncate  file, u64 size
//   4 fsync     file, u8 folder, text path                  (folder: a folder's own sync)
//   5 rename    text from, text to
//   6 unlink    text path
//   7 mkdir     text path
//   8 msync     file, u64 offset, text bytes                (a mapping's bytes, synced)
//   9 munmap    file, u64 offset, text bytes                (a mapping's bytes, not synced)
//  10 symlink   text target, text path
//  11 chmod     text path, u32 mode
#pragma once

#include <sys/types.h>

#include <map>
#include <mutex>
#include <string>

#include "platform/os.h"

namespace nb {

class RecordingOs : public Os {
 public:
  enum Kind : unsigned char {
    kOpenRecord = 1,
    kWriteRecord,
    kTruncateRecord,
    kFsyncRecord,
    kRenameRecord,
    kUnlinkRecord,
    kMkdirRecord,
    kMsyncRecord,
    kMunmapRecord,
    kSymlinkRecord,
    kChmodRecord,
  };
  // Records into `log` what goes through `inner`; the log is opened on the first change.
  RecordingOs(Os& inner, std::string log) : inner_(inner), log_path_(std::move(log)) {}

  int Open(const char* path, int flags, mode_t mode) override;
  ssize_t Read(int fd, void* data, size_t n) override { return inner_.Read(fd, data, n); }
  ssize_t PRead(int fd, void* data, size_t n, off_t offset) override {
    return inner_.PRead(fd, data, n, offset);
  }
  ssize_t Write(int fd, const void* data, size_t n) override;
  ssize_t PWrite(int fd, const void* data, size_t n, off_t offset) override;
  int Fsync(int fd) override;
  int Close(int fd) override;
  int Rename(const char* from, const char* to) override;
  int Unlink(const char* path) override;
  int Stat(const char* path, struct stat* st) override { return inner_.Stat(path, st); }
  int ListFolder(const char* path, std::vector<std::string>* names) override {
    return inner_.ListFolder(path, names);
  }
  void* LoadLibrary(const char* path, int flags, std::string* error) override {
    return inner_.LoadLibrary(path, flags, error);
  }
  time_t Now() override { return inner_.Now(); }
  int Flock(int fd, int operation) override { return inner_.Flock(fd, operation); }
  int Lstat(const char* path, struct stat* st) override { return inner_.Lstat(path, st); }
  int Fstat(int fd, struct stat* st) override { return inner_.Fstat(fd, st); }
  int Access(const char* path, int mode) override { return inner_.Access(path, mode); }
  int Mkdir(const char* path, mode_t mode) override;
  int Chmod(const char* path, mode_t mode) override;
  int Fchmod(int fd, mode_t mode) override;
  int Ftruncate(int fd, off_t size) override;
  void* Mmap(size_t n, int prot, int flags, int fd, off_t offset) override;
  int Munmap(void* address, size_t n) override;
  int Msync(void* address, size_t n, int flags) override;
  int Readlink(const char* path, std::string* target) override {
    return inner_.Readlink(path, target);
  }
  int Symlink(const char* target, const char* path) override;
  int Kill(pid_t pid, int signal) override { return inner_.Kill(pid, signal); }
  int Dup(int fd) override;
  int Dup2(int fd, int to) override;
  int StartDetached(const char* program, const std::vector<std::string>& args) override {
    return inner_.StartDetached(program, args);
  }
  int Poll(struct pollfd* fds, nfds_t n, int timeout_ms) override {
    return inner_.Poll(fds, n, timeout_ms);
  }
  int Socket(int domain, int type, int protocol) override {
    return inner_.Socket(domain, type, protocol);
  }
  int Bind(int fd, const struct sockaddr* address, socklen_t length) override {
    return inner_.Bind(fd, address, length);
  }
  int Listen(int fd, int backlog) override { return inner_.Listen(fd, backlog); }
  int Accept(int fd, struct sockaddr* address, socklen_t* length) override {
    return inner_.Accept(fd, address, length);
  }
  int Connect(int fd, const struct sockaddr* address, socklen_t length) override {
    return inner_.Connect(fd, address, length);
  }
  int SetSockOpt(int fd, int level, int name, const void* value, socklen_t length) override {
    return inner_.SetSockOpt(fd, level, name, value, length);
  }
  int GetSockName(int fd, struct sockaddr* address, socklen_t* length) override {
    return inner_.GetSockName(fd, address, length);
  }
  ssize_t Send(int fd, const void* data, size_t n, int flags) override {
    return inner_.Send(fd, data, n, flags);
  }
  int TcGetAttr(int fd, struct termios* attributes) override {
    return inner_.TcGetAttr(fd, attributes);
  }
  int TcSetAttr(int fd, int when, const struct termios* attributes) override {
    return inner_.TcSetAttr(fd, when, attributes);
  }
  int TcDrain(int fd) override { return inner_.TcDrain(fd); }
  int Fcntl(int fd, int command, int argument) override {
    return inner_.Fcntl(fd, command, argument);
  }
  int CfSetSpeed(struct termios* attributes, unsigned speed) override {
    return inner_.CfSetSpeed(attributes, speed);
  }

 private:
  struct File {
    dev_t dev;
    ino_t ino;
    bool folder;
    std::string path;
  };
  struct Mapping {
    File file;
    off_t offset;
    size_t size;
  };
  class Locked;
  bool Tracked(int fd, File* file);
  bool IsTracked(int fd);
  void Track(int fd, const std::string& path);

  Os& inner_;
  std::string log_path_;
  std::mutex mutex_;  // the log, the tables below, and this process's threads
  int log_ = -1;
  bool failed_ = false;
  std::map<int, File> files_;
  std::map<char*, Mapping> mappings_;
};

}  // namespace nb
