// The one way the programs reach the operating system for files, and the one durable write.
//
// Os is a table of the system calls the programs use for files, folders, mappings, locks,
// libraries, processes and the clock; the process holds one, TheOs(), POSIX by default. Calls
// return what the system call returns and set errno likewise.
//
// Faults, for tests: a FaultyOs passes every call through except the Nth call of one kind,
// which fails with a chosen errno or "crashes" (the process is killed on the spot, leaving
// whatever a power cut would). A test installs one with ScopedOs; a test of another
// process (a program, a plug-in it loads) sets NB_FAULT before starting it:
//   NB_FAULT=<call>:<n>:<errno name or "crash">[:<path part>]
//   e.g. NB_FAULT=rename:1:ENOSPC   NB_FAULT=write:2:ENOSPC:AprSite.dbf
// where <call> is open, read, write, fsync, close, rename, unlink, stat (also lstat, fstat,
// access and readlink), list, load, mkdir, chmod (also fchmod), truncate, mmap, symlink or
// spawn. With a path part, only calls on a path containing it count: for calls on a
// descriptor the path it was opened with, for rename and symlink either name, for spawn
// the program. It is read once, on the first call through TheOs(); a malformed value is
// ignored with a message on stderr.
//
// WriteFileDurably writes under a unique temporary name in the same folder, syncs it,
// renames it over `path` and syncs the folder, so the file is its old or its new whole
// content whatever fails or stops in between. On failure the temporary file is removed,
// the old file is untouched, and *error names the file and the reason. A failing folder
// sync after the rename is reported too; the new content is then in place.
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <atomic>
#include <ctime>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// <termios.h> brings macros (ECHO, B0, ...) every includer would see.
struct termios;

namespace nb {

enum class OsCall {
  kOpen,
  kRead,
  kWrite,
  kFsync,
  kClose,
  kRename,
  kUnlink,
  kStat,
  kList,
  kLoad,
  kMkdir,
  kChmod,
  kTruncate,
  kMmap,
  kSymlink,
  kSpawn,
  kCount
};

class Os {
 public:
  virtual ~Os() = default;
  virtual int Open(const char* path, int flags, mode_t mode);
  virtual ssize_t Read(int fd, void* data, size_t n);
  virtual ssize_t PRead(int fd, void* data, size_t n, off_t offset);
  virtual ssize_t Write(int fd, const void* data, size_t n);
  virtual ssize_t PWrite(int fd, const void* data, size_t n, off_t offset);
  virtual int Fsync(int fd);
  virtual int Close(int fd);
  virtual int Rename(const char* from, const char* to);
  virtual int Unlink(const char* path);
  // stat(2), following links.
  virtual int Stat(const char* path, struct stat* st);
  // The names in a folder, without "." and ".."; -1 with errno when it cannot be read.
  virtual int ListFolder(const char* path, std::vector<std::string>* names);
  // dlopen(3); null on failure, the reason from dlerror() in *error.
  virtual void* LoadLibrary(const char* path, int flags, std::string* error);
  // Seconds since the epoch.
  virtual time_t Now();
  // flock(2): an advisory lock on the open file, dropped by the kernel when the last
  // descriptor of it closes, also when the process is killed.
  virtual int Flock(int fd, int operation);
  // lstat(2): the link itself, not what it names.
  virtual int Lstat(const char* path, struct stat* st);
  virtual int Fstat(int fd, struct stat* st);
  virtual int Access(const char* path, int mode);
  virtual int Mkdir(const char* path, mode_t mode);
  virtual int Chmod(const char* path, mode_t mode);
  virtual int Fchmod(int fd, mode_t mode);
  virtual int Ftruncate(int fd, off_t size);
  // mmap(2) of a whole region of an open file; MAP_FAILED with errno on failure.
  virtual void* Mmap(size_t n, int prot, int flags, int fd, off_t offset);
  virtual int Munmap(void* address, size_t n);
  // msync(2) of a mapped region: what was stored through it reaches the disk.
  virtual int Msync(void* address, size_t n, int flags);
  // readlink(2): the target, or -1 with errno.
  virtual int Readlink(const char* path, std::string* target);
  virtual int Symlink(const char* target, const char* path);
  // kill(2); signal 0 asks only whether the process exists.
  virtual int Kill(pid_t pid, int signal);
  // dup(2) and dup2(2): a program's standard streams led elsewhere for a while.
  virtual int Dup(int fd);
  virtual int Dup2(int fd, int to);
  // Starts `program` with `args` (args[0] its name) in a session of its own, standard
  // streams on /dev/null, never waited for: 0 once it runs, -1 with errno when it cannot
  // be started (fork or exec failed).
  virtual int StartDetached(const char* program, const std::vector<std::string>& args);

  // --- Sockets, serial lines and waiting (the handheld link) ---
  // poll(2); the link bounds every wait with it.
  virtual int Poll(struct pollfd* fds, nfds_t n, int timeout_ms);
  virtual int Socket(int domain, int type, int protocol);
  virtual int Bind(int fd, const struct sockaddr* address, socklen_t length);
  virtual int Listen(int fd, int backlog);
  virtual int Accept(int fd, struct sockaddr* address, socklen_t* length);
  virtual int Connect(int fd, const struct sockaddr* address, socklen_t length);
  virtual int SetSockOpt(int fd, int level, int name, const void* value, socklen_t length);
  virtual int GetSockName(int fd, struct sockaddr* address, socklen_t* length);
  // send(2): with MSG_NOSIGNAL a vanished peer is an EPIPE, not a killed process.
  virtual ssize_t Send(int fd, const void* data, size_t n, int flags);
  virtual int TcGetAttr(int fd, struct termios* attributes);
  virtual int TcSetAttr(int fd, int when, const struct termios* attributes);
  // tcdrain(3): waits until what was written has left the line (before a speed change).
  virtual int TcDrain(int fd);
  // fcntl(2) with an int argument (F_GETFL, F_SETFL, ...).
  virtual int Fcntl(int fd, int command, int argument);
  virtual int CfSetSpeed(struct termios* attributes, unsigned speed);  // a B9600-style code
  // --- end of sockets, serial lines and waiting ---
};

// Fails the nth call (counting from 1) of `call` with `err`, or kills the process there
// when `crash`. Later calls pass through.
class FaultyOs : public Os {
 public:
  FaultyOs(OsCall call, int nth, int err, bool crash = false, std::string path_part = {})
      : call_(call), nth_(nth), err_(err), crash_(crash), path_part_(std::move(path_part)) {}
  // Reads NB_FAULT's form; false when malformed.
  static bool Parse(std::string_view setting, OsCall* call, int* nth, int* err, bool* crash,
                    std::string* path_part);
  bool fired() const { return fired_; }

  int Open(const char* path, int flags, mode_t mode) override;
  ssize_t Read(int fd, void* data, size_t n) override;
  ssize_t PRead(int fd, void* data, size_t n, off_t offset) override;
  ssize_t Write(int fd, const void* data, size_t n) override;
  ssize_t PWrite(int fd, const void* data, size_t n, off_t offset) override;
  int Fsync(int fd) override;
  int Close(int fd) override;
  int Rename(const char* from, const char* to) override;
  int Unlink(const char* path) override;
  int Stat(const char* path, struct stat* st) override;
  int ListFolder(const char* path, std::vector<std::string>* names) override;
  void* LoadLibrary(const char* path, int flags, std::string* error) override;
  int Lstat(const char* path, struct stat* st) override;
  int Fstat(int fd, struct stat* st) override;
  int Access(const char* path, int mode) override;
  int Mkdir(const char* path, mode_t mode) override;
  int Chmod(const char* path, mode_t mode) override;
  int Fchmod(int fd, mode_t mode) override;
  int Ftruncate(int fd, off_t size) override;
  void* Mmap(size_t n, int prot, int flags, int fd, off_t offset) override;
  int Readlink(const char* path, std::string* target) override;
  int Symlink(const char* target, const char* path) override;
  int StartDetached(const char* program, const std::vector<std::string>& args) override;

 private:
  // True when this call is the one to fail (errno set); does not return when crashing.
  bool Hit(OsCall call, bool on_path);
  bool HitFd(OsCall call, int fd);
  bool Matches(const char* path) const;
  OsCall call_;
  int nth_, err_;
  bool crash_;
  std::string path_part_;
  std::mutex fds_mutex_;
  std::set<int> fds_;  // descriptors opened on a matching path
  std::atomic<int> seen_{0};
  std::atomic<bool> fired_{false};
};

Os& TheOs();

// Installs `os` as TheOs() for its lifetime (tests of this process).
class ScopedOs {
 public:
  explicit ScopedOs(Os& os);
  ~ScopedOs();
  ScopedOs(const ScopedOs&) = delete;
  ScopedOs& operator=(const ScopedOs&) = delete;

 private:
  Os* previous_;
};

// Whole-buffer helpers over TheOs(): false with errno set on failure; EINTR retried.
bool WriteAll(int fd, const void* data, size_t n);
bool PWriteAll(int fd, const void* data, size_t n, off_t offset);
// The whole file into *out; false with errno set when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string* out);

enum class FolderSync { kNow, kDeferred };
// kDeferred leaves the folder sync to one SyncFolder call after a batch of writes to one
// folder: each file is whole on disk, its name survives a crash once the folder is synced.
// A replaced file keeps its mode; a new one gets `new_mode`.
bool WriteFileDurably(const std::string& path, std::string_view bytes, std::string* error = nullptr,
                      FolderSync sync = FolderSync::kNow, mode_t new_mode = 0644);
bool SyncFolder(const std::string& folder);
// Copies the file `from` to `path` through WriteFileDurably: `path` is its old content or
// the whole copy, never part of it. False with *error naming the file and the reason.
bool CopyFileDurably(const std::string& from, const std::string& path, std::string* error = nullptr,
                     FolderSync sync = FolderSync::kNow, mode_t new_mode = 0644);
// A new empty file beside `path` under a unique temporary name of WriteFileDurably's form
// (0600, open for reading and writing): its descriptor, and its name in *temp; -1 with
// errno set when it cannot be made.
int CreateTemporaryFor(const std::string& path, std::string* temp);
// A temporary file of WriteFileDurably whose writing process has ended: what a killed
// write leaves behind. RemoveAbandonedTemporaries deletes those in `folder` and returns
// their names; one that cannot be removed stays for the next try.
bool IsAbandonedTemporary(const std::string& name);
std::vector<std::string> RemoveAbandonedTemporaries(const std::string& folder);
std::string FolderOf(const std::string& path);

// Small answers over TheOs(): whether `path` names something (a link counts, followed or
// not), a folder, a regular file; false also when it cannot be asked.
bool Exists(const std::string& path);
bool IsFolder(const std::string& path);
bool IsRegularFile(const std::string& path);
bool IsSymlink(const std::string& path);
// `path` made absolute against the current folder and without "." and ".." parts.
std::string AbsolutePath(const std::string& path);
// True when no process `pid` exists any longer.
bool ProcessEnded(pid_t pid);

}  // namespace nb
