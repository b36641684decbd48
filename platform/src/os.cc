#include "platform/os.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>

#include "platform/durable_folder.h"
#include "record.h"

namespace nb {
namespace {

constexpr std::pair<const char*, OsCall> kCalls[] = {
    {"open", OsCall::kOpen},         {"read", OsCall::kRead},   {"write", OsCall::kWrite},
    {"fsync", OsCall::kFsync},       {"close", OsCall::kClose}, {"rename", OsCall::kRename},
    {"unlink", OsCall::kUnlink},     {"stat", OsCall::kStat},   {"list", OsCall::kList},
    {"load", OsCall::kLoad},         {"mkdir", OsCall::kMkdir}, {"chmod", OsCall::kChmod},
    {"truncate", OsCall::kTruncate}, {"mmap", OsCall::kMmap},   {"symlink", OsCall::kSymlink},
    {"spawn", OsCall::kSpawn},
};

constexpr std::pair<const char*, int> kErrnos[] = {
    {"ENOSPC", ENOSPC}, {"EIO", EIO},     {"EACCES", EACCES}, {"EDQUOT", EDQUOT},
    {"EROFS", EROFS},   {"EPERM", EPERM}, {"EXDEV", EXDEV},   {"EINTR", EINTR},
};

Os& Posix() {
  static Os posix;
  return posix;
}

// NB_FAULT's fault, when set and well formed; read once.
Os* FromEnvironment() {
  const char* setting = getenv("NB_FAULT");
  if (!setting || !*setting) return nullptr;
  OsCall call;
  int nth, err;
  bool crash;
  std::string path_part;
  if (!FaultyOs::Parse(setting, &call, &nth, &err, &crash, &path_part)) {
    fprintf(stderr, "NB_FAULT=%s not understood; running without a fault\n", setting);
    return nullptr;
  }
  static FaultyOs faulty(call, nth, err, crash, path_part);
  return &faulty;
}

std::atomic<Os*>& Current() {
  static std::atomic<Os*> current{[]() -> Os* {
    Os* env = FromEnvironment();
    Os& os = env ? *env : Posix();
    // NB_RECORD=FILE logs every change to files for scripts/powercut (record.h).
    const char* log = getenv("NB_RECORD");
    if (!log || !*log) return &os;
    // Never destroyed: threads may still change files while the process exits.
    static RecordingOs* recording = new RecordingOs(os, AbsolutePath(log));
    return recording;
  }()};
  return current;
}

std::string Describe(const std::string& path, int err) {
  return "cannot write " + path + ": " + strerror(err);
}

}  // namespace

int Os::Open(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }
ssize_t Os::Read(int fd, void* data, size_t n) { return ::read(fd, data, n); }
ssize_t Os::PRead(int fd, void* data, size_t n, off_t offset) {
  return ::pread(fd, data, n, offset);
}
ssize_t Os::Write(int fd, const void* data, size_t n) { return ::write(fd, data, n); }
ssize_t Os::PWrite(int fd, const void* data, size_t n, off_t offset) {
  return ::pwrite(fd, data, n, offset);
}
int Os::Fsync(int fd) { return ::fsync(fd); }
int Os::Close(int fd) { return ::close(fd); }
int Os::Rename(const char* from, const char* to) { return ::rename(from, to); }
int Os::Unlink(const char* path) { return ::unlink(path); }
int Os::Stat(const char* path, struct stat* st) { return ::stat(path, st); }

int Os::ListFolder(const char* path, std::vector<std::string>* names) {
  names->clear();
  DIR* d = ::opendir(path);
  if (!d) return -1;
  errno = 0;
  while (dirent* e = ::readdir(d)) {
    if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names->push_back(e->d_name);
    errno = 0;
  }
  const int err = errno;
  ::closedir(d);
  errno = err;
  return err ? -1 : 0;
}

void* Os::LoadLibrary(const char* path, int flags, std::string* error) {
  void* lib = ::dlopen(path, flags);
  if (!lib && error) {
    const char* why = ::dlerror();
    *error = why ? why : std::string("cannot load ") + path;
  }
  return lib;
}

time_t Os::Now() { return ::time(nullptr); }
int Os::Flock(int fd, int operation) { return ::flock(fd, operation); }
int Os::Lstat(const char* path, struct stat* st) { return ::lstat(path, st); }
int Os::Fstat(int fd, struct stat* st) { return ::fstat(fd, st); }
int Os::Access(const char* path, int mode) { return ::access(path, mode); }
int Os::Mkdir(const char* path, mode_t mode) { return ::mkdir(path, mode); }
int Os::Chmod(const char* path, mode_t mode) { return ::chmod(path, mode); }
int Os::Fchmod(int fd, mode_t mode) { return ::fchmod(fd, mode); }
int Os::Ftruncate(int fd, off_t size) { return ::ftruncate(fd, size); }
void* Os::Mmap(size_t n, int prot, int flags, int fd, off_t offset) {
  return ::mmap(nullptr, n, prot, flags, fd, offset);
}
int Os::Munmap(void* address, size_t n) { return ::munmap(address, n); }
int Os::Msync(void* address, size_t n, int flags) { return ::msync(address, n, flags); }
int Os::Symlink(const char* target, const char* path) { return ::symlink(target, path); }
int Os::Kill(pid_t pid, int signal) { return ::kill(pid, signal); }
int Os::Dup(int fd) { return ::dup(fd); }
int Os::Dup2(int fd, int to) { return ::dup2(fd, to); }

int Os::Readlink(const char* path, std::string* target) {
  char buf[4096];
  const ssize_t n = ::readlink(path, buf, sizeof buf);
  if (n < 0) return -1;
  if (size_t(n) == sizeof buf) return errno = ENAMETOOLONG, -1;
  target->assign(buf, size_t(n));
  return 0;
}

int Os::StartDetached(const char* program, const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  // exec's errno comes back through the pipe; a closed pipe without it means it ran.
  int status_pipe[2];
  if (::pipe2(status_pipe, O_CLOEXEC) != 0) return -1;
  const pid_t child = ::fork();
  if (child < 0) {
    const int err = errno;
    ::close(status_pipe[0]);
    ::close(status_pipe[1]);
    return errno = err, -1;
  }
  if (child == 0) {
    ::setsid();
    if (::fork() != 0) _exit(0);
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0);
    ::dup2(null, 1);
    ::dup2(null, 2);
    ::execv(program, argv.data());
    const int err = errno;
    (void)!::write(status_pipe[1], &err, sizeof err);
    _exit(127);
  }
  ::close(status_pipe[1]);
  int st = 0;
  while (::waitpid(child, &st, 0) < 0 && errno == EINTR) {
  }
  int err = 0;
  const bool failed = ::read(status_pipe[0], &err, sizeof err) == sizeof err;
  ::close(status_pipe[0]);
  return failed ? (errno = err, -1) : 0;
}

// --- Sockets, serial lines and waiting (the handheld link) ---
int Os::Poll(struct pollfd* fds, nfds_t n, int timeout_ms) { return ::poll(fds, n, timeout_ms); }
int Os::Socket(int domain, int type, int protocol) { return ::socket(domain, type, protocol); }
int Os::Bind(int fd, const struct sockaddr* address, socklen_t length) {
  return ::bind(fd, address, length);
}
int Os::Listen(int fd, int backlog) { return ::listen(fd, backlog); }
int Os::Accept(int fd, struct sockaddr* address, socklen_t* length) {
  return ::accept4(fd, address, length, SOCK_CLOEXEC);
}
int Os::Connect(int fd, const struct sockaddr* address, socklen_t length) {
  return ::connect(fd, address, length);
}
int Os::SetSockOpt(int fd, int level, int name, const void* value, socklen_t length) {
  return ::setsockopt(fd, level, name, value, length);
}
int Os::GetSockName(int fd, struct sockaddr* address, socklen_t* length) {
  return ::getsockname(fd, address, length);
}
ssize_t Os::Send(int fd, const void* data, size_t n, int flags) {
  return ::send(fd, data, n, flags);
}
int Os::TcGetAttr(int fd, struct termios* attributes) { return ::tcgetattr(fd, attributes); }
int Os::TcSetAttr(int fd, int when, const struct termios* attributes) {
  return ::tcsetattr(fd, when, attributes);
}
int Os::TcDrain(int fd) { return ::tcdrain(fd); }
int Os::Fcntl(int fd, int command, int argument) { return ::fcntl(fd, command, argument); }
int Os::CfSetSpeed(struct termios* attributes, unsigned speed) {
  return ::cfsetspeed(attributes, speed);
}
// --- end of sockets, serial lines and waiting ---

bool FaultyOs::Parse(std::string_view setting, OsCall* call, int* nth, int* err, bool* crash,
                     std::string* path_part) {
  size_t a = setting.find(':'), b = a == setting.npos ? a : setting.find(':', a + 1);
  if (b == setting.npos) return false;
  // The path part is all that follows the third colon: it may hold colons of its own.
  const size_t c = setting.find(':', b + 1);
  path_part->assign(c == setting.npos ? std::string_view() : setting.substr(c + 1));
  if (c != setting.npos && path_part->empty()) return false;
  std::string_view name = setting.substr(0, a),
                   what = setting.substr(b + 1, c == setting.npos ? c : c - b - 1);
  std::string count(setting.substr(a + 1, b - a - 1));
  char* end = nullptr;
  long n = strtol(count.c_str(), &end, 10);
  if (count.empty() || *end || n < 1 || n > 1000000) return false;
  *nth = int(n);
  bool known = false;
  for (const auto& [text, c] : kCalls) {
    if (name == text) *call = c, known = true;
  }
  if (!known) return false;
  *crash = what == "crash";
  *err = 0;
  for (const auto& [text, e] : kErrnos) {
    if (what == text) *err = e;
  }
  return *crash || *err != 0;
}

bool FaultyOs::Matches(const char* path) const {
  return path_part_.empty() || (path && strstr(path, path_part_.c_str()));
}

bool FaultyOs::Hit(OsCall call, bool on_path) {
  if (call != call_ || !on_path || seen_.fetch_add(1) + 1 != nth_) return false;
  fired_ = true;
  // Killed, not exited: no destructor, no atexit, no flush, as a power cut leaves it.
  if (crash_) raise(SIGKILL);
  errno = err_;
  return true;
}

bool FaultyOs::HitFd(OsCall call, int fd) {
  if (call != call_) return false;
  bool on_path = path_part_.empty();
  if (!on_path) {
    std::lock_guard<std::mutex> lock(fds_mutex_);
    on_path = fds_.count(fd) != 0;
  }
  return Hit(call, on_path);
}

int FaultyOs::Open(const char* path, int flags, mode_t mode) {
  if (Hit(OsCall::kOpen, Matches(path))) return -1;
  const int fd = Os::Open(path, flags, mode);
  if (fd >= 0 && !path_part_.empty() && Matches(path)) {
    std::lock_guard<std::mutex> lock(fds_mutex_);
    fds_.insert(fd);
  }
  return fd;
}
ssize_t FaultyOs::Read(int fd, void* data, size_t n) {
  return HitFd(OsCall::kRead, fd) ? -1 : Os::Read(fd, data, n);
}
ssize_t FaultyOs::PRead(int fd, void* data, size_t n, off_t offset) {
  return HitFd(OsCall::kRead, fd) ? -1 : Os::PRead(fd, data, n, offset);
}
ssize_t FaultyOs::Write(int fd, const void* data, size_t n) {
  return HitFd(OsCall::kWrite, fd) ? -1 : Os::Write(fd, data, n);
}
ssize_t FaultyOs::PWrite(int fd, const void* data, size_t n, off_t offset) {
  return HitFd(OsCall::kWrite, fd) ? -1 : Os::PWrite(fd, data, n, offset);
}
int FaultyOs::Fsync(int fd) { return HitFd(OsCall::kFsync, fd) ? -1 : Os::Fsync(fd); }
int FaultyOs::Close(int fd) {
  const bool hit = HitFd(OsCall::kClose, fd);
  const int err = errno;
  if (!path_part_.empty()) {
    std::lock_guard<std::mutex> lock(fds_mutex_);
    fds_.erase(fd);
  }
  // A failing close still releases the descriptor, as close(2) does.
  const int result = Os::Close(fd);
  if (hit) errno = err;
  return hit ? -1 : result;
}
int FaultyOs::Rename(const char* from, const char* to) {
  return Hit(OsCall::kRename, Matches(from) || Matches(to)) ? -1 : Os::Rename(from, to);
}
int FaultyOs::Unlink(const char* path) {
  return Hit(OsCall::kUnlink, Matches(path)) ? -1 : Os::Unlink(path);
}
int FaultyOs::Stat(const char* path, struct stat* st) {
  return Hit(OsCall::kStat, Matches(path)) ? -1 : Os::Stat(path, st);
}
int FaultyOs::ListFolder(const char* path, std::vector<std::string>* names) {
  if (Hit(OsCall::kList, Matches(path))) return names->clear(), -1;
  return Os::ListFolder(path, names);
}
void* FaultyOs::LoadLibrary(const char* path, int flags, std::string* error) {
  if (Hit(OsCall::kLoad, Matches(path))) {
    if (error) *error = std::string("cannot load ") + path + ": " + strerror(errno);
    return nullptr;
  }
  return Os::LoadLibrary(path, flags, error);
}

int FaultyOs::Lstat(const char* path, struct stat* st) {
  return Hit(OsCall::kStat, Matches(path)) ? -1 : Os::Lstat(path, st);
}
int FaultyOs::Fstat(int fd, struct stat* st) {
  return HitFd(OsCall::kStat, fd) ? -1 : Os::Fstat(fd, st);
}
int FaultyOs::Access(const char* path, int mode) {
  return Hit(OsCall::kStat, Matches(path)) ? -1 : Os::Access(path, mode);
}
int FaultyOs::Readlink(const char* path, std::string* target) {
  return Hit(OsCall::kStat, Matches(path)) ? -1 : Os::Readlink(path, target);
}
int FaultyOs::Mkdir(const char* path, mode_t mode) {
  return Hit(OsCall::kMkdir, Matches(path)) ? -1 : Os::Mkdir(path, mode);
}
int FaultyOs::Chmod(const char* path, mode_t mode) {
  return Hit(OsCall::kChmod, Matches(path)) ? -1 : Os::Chmod(path, mode);
}
int FaultyOs::Fchmod(int fd, mode_t mode) {
  return HitFd(OsCall::kChmod, fd) ? -1 : Os::Fchmod(fd, mode);
}
int FaultyOs::Ftruncate(int fd, off_t size) {
  return HitFd(OsCall::kTruncate, fd) ? -1 : Os::Ftruncate(fd, size);
}
void* FaultyOs::Mmap(size_t n, int prot, int flags, int fd, off_t offset) {
  return HitFd(OsCall::kMmap, fd) ? MAP_FAILED : Os::Mmap(n, prot, flags, fd, offset);
}
int FaultyOs::Symlink(const char* target, const char* path) {
  return Hit(OsCall::kSymlink, Matches(target) || Matches(path)) ? -1 : Os::Symlink(target, path);
}
int FaultyOs::StartDetached(const char* program, const std::vector<std::string>& args) {
  return Hit(OsCall::kSpawn, Matches(program)) ? -1 : Os::StartDetached(program, args);
}

Os& TheOs() { return *Current().load(); }

ScopedOs::ScopedOs(Os& os) : previous_(Current().exchange(&os)) {}
ScopedOs::~ScopedOs() { Current().store(previous_); }

bool WriteAll(int fd, const void* data, size_t n) {
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    ssize_t put = TheOs().Write(fd, p, n);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return false;
    if (put == 0) return errno = EIO, false;
    p += put;
    n -= size_t(put);
  }
  return true;
}

bool PWriteAll(int fd, const void* data, size_t n, off_t offset) {
  const char* p = static_cast<const char*>(data);
  while (n > 0) {
    ssize_t put = TheOs().PWrite(fd, p, n, offset);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return false;
    if (put == 0) return errno = EIO, false;
    p += put;
    n -= size_t(put);
    offset += put;
  }
  return true;
}

bool ReadWholeFile(const std::string& path, std::string* out) {
  out->clear();
  int fd = TheOs().Open(path.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) return false;
  char buf[65536];
  for (;;) {
    ssize_t n = TheOs().Read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int err = errno;
      TheOs().Close(fd);
      errno = err;
      return false;
    }
    if (n == 0) break;
    out->append(buf, size_t(n));
  }
  TheOs().Close(fd);
  return true;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

namespace {

// A temporary name is the file's name, this mark, the writer's process ID, "-" and a serial.
constexpr char kTempMark[] = ".~";

bool AllDigits(const std::string& s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

bool IsAbandonedTemporary(const std::string& name) {
  const size_t mark = name.rfind(kTempMark);
  if (mark == std::string::npos || mark == 0) return false;
  const std::string tail = name.substr(mark + 2);
  const size_t dash = tail.find('-');
  if (dash == std::string::npos || !AllDigits(tail.substr(0, dash)) ||
      !AllDigits(tail.substr(dash + 1)) || dash > 9)
    return false;
  const pid_t pid = pid_t(std::stol(tail.substr(0, dash)));
  return ProcessEnded(pid);
}

bool ProcessEnded(pid_t pid) { return pid > 0 && TheOs().Kill(pid, 0) != 0 && errno == ESRCH; }

bool Exists(const std::string& path) {
  struct stat st;
  return TheOs().Lstat(path.c_str(), &st) == 0;
}
bool IsFolder(const std::string& path) {
  struct stat st;
  return TheOs().Stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
bool IsRegularFile(const std::string& path) {
  struct stat st;
  return TheOs().Stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
bool IsSymlink(const std::string& path) {
  struct stat st;
  return TheOs().Lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::string AbsolutePath(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  return (ec ? std::filesystem::path(path) : absolute).lexically_normal().string();
}

std::vector<std::string> RemoveAbandonedTemporaries(const std::string& folder) {
  std::vector<std::string> names, removed;
  TheOs().ListFolder(folder.c_str(), &names);
  for (const std::string& name : names) {
    if (IsAbandonedTemporary(name) && TheOs().Unlink((folder + "/" + name).c_str()) == 0)
      removed.push_back(name);
  }
  return removed;
}

int CreateTemporaryFor(const std::string& path, std::string* temp) {
  // Unique per process and call, so two writers of one file never share a temporary.
  static std::atomic<unsigned> serial{0};
  int fd = -1;
  for (int tries = 0; fd < 0 && tries < 100; ++tries) {
    *temp = path + kTempMark + std::to_string(getpid()) + "-" + std::to_string(serial++);
    fd = TheOs().Open(temp->c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) break;
  }
  return fd;
}

bool WriteFileDurably(const std::string& path, std::string_view bytes, std::string* error,
                      FolderSync sync, mode_t new_mode) {
  Os& os = TheOs();
  std::string temp;
  const int fd = CreateTemporaryFor(path, &temp);
  if (fd < 0) {
    if (error) *error = Describe(path, errno);
    return false;
  }
  struct stat st;
  const mode_t mode = os.Stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : new_mode;
  bool ok =
      os.Fchmod(fd, mode) == 0 && WriteAll(fd, bytes.data(), bytes.size()) && os.Fsync(fd) == 0;
  int err = errno;
  if (os.Close(fd) != 0 && ok) ok = false, err = errno;
  if (ok && os.Rename(temp.c_str(), path.c_str()) != 0) ok = false, err = errno;
  if (!ok) {
    os.Unlink(temp.c_str());
    if (error) *error = Describe(path, err);
    errno = err;
    return false;
  }
  if (sync == FolderSync::kNow && !SyncFolder(FolderOf(path))) {
    if (error) *error = Describe(path, errno);
    return false;
  }
  return true;
}

bool CopyFileDurably(const std::string& from, const std::string& path, std::string* error,
                     FolderSync sync, mode_t new_mode) {
  std::string bytes;
  if (!ReadWholeFile(from, &bytes)) {
    const int err = errno;
    if (error) *error = "cannot read " + from + ": " + strerror(err);
    errno = err;
    return false;
  }
  return WriteFileDurably(path, bytes, error, sync, new_mode);
}

bool SyncFolder(const std::string& folder) {
  Os& os = TheOs();
  int fd = os.Open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (fd < 0) return false;
  bool ok = os.Fsync(fd) == 0;
  int err = errno;
  if (os.Close(fd) != 0) return false;
  errno = err;
  return ok;
}

bool MakeFolderDurably(const std::string& path, mode_t mode) {
  std::string folder = path;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (folder.empty()) {
    errno = ENOENT;
    return false;
  }
  std::vector<std::string> made;
  for (size_t at = folder.find('/', 1);; at = folder.find('/', at + 1)) {
    const std::string part = folder.substr(0, at);
    if (TheOs().Mkdir(part.c_str(), mode) == 0)
      made.push_back(part);
    else if (errno != EEXIST)
      return false;
    if (at == std::string::npos) break;
  }
  // The deepest first: each sync makes the entry of the folder made inside it durable.
  for (auto it = made.rbegin(); it != made.rend(); ++it)
    if (!SyncFolder(FolderOf(*it))) return false;
  if (IsFolder(folder)) return true;
  errno = ENOTDIR;
  return false;
}

}  // namespace nb
