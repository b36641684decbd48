#include "seam_vfs.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/os.h"

namespace mdb::data {
namespace {

// Where the descriptor the unix VFS opens for a file of ours goes, while it opens it.
thread_local int* g_opened = nullptr;

int Open(const char* path, int flags, int mode) {
  const int fd = nb::TheOs().Open(path, flags, mode_t(mode));
  // The last one counts: SQLite may open and close a descriptor below 3 first.
  if (fd >= 0 && g_opened) *g_opened = fd;
  return fd;
}
int Close(int fd) { return nb::TheOs().Close(fd); }
int Access(const char* path, int mode) { return nb::TheOs().Access(path, mode); }
int Stat(const char* path, struct stat* st) { return nb::TheOs().Stat(path, st); }
int Lstat(const char* path, struct stat* st) { return nb::TheOs().Lstat(path, st); }
int Fstat(int fd, struct stat* st) { return nb::TheOs().Fstat(fd, st); }
int Ftruncate(int fd, off_t size) { return nb::TheOs().Ftruncate(fd, size); }
ssize_t Read(int fd, void* data, size_t n) { return nb::TheOs().Read(fd, data, n); }
ssize_t PRead(int fd, void* data, size_t n, off_t at) { return nb::TheOs().PRead(fd, data, n, at); }
ssize_t Write(int fd, const void* data, size_t n) { return nb::TheOs().Write(fd, data, n); }
ssize_t PWrite(int fd, const void* data, size_t n, off_t at) {
  return nb::TheOs().PWrite(fd, data, n, at);
}
int Fchmod(int fd, mode_t mode) { return nb::TheOs().Fchmod(fd, mode); }
int Unlink(const char* path) { return nb::TheOs().Unlink(path); }
int Mkdir(const char* path, mode_t mode) { return nb::TheOs().Mkdir(path, mode); }
ssize_t Readlink(const char* path, char* buf, size_t n) {
  std::string target;
  if (nb::TheOs().Readlink(path, &target) != 0) return -1;
  const size_t copied = target.size() < n ? target.size() : n;
  std::memcpy(buf, target.data(), copied);
  return ssize_t(copied);
}

template <typename F>
sqlite3_syscall_ptr Call(F* f) {
  return reinterpret_cast<sqlite3_syscall_ptr>(f);
}

// The unix VFS's names for its calls; a name a build lacks is skipped.
const std::pair<const char*, sqlite3_syscall_ptr> kCalls[] = {
    {"open", Call(Open)},           {"close", Call(Close)},       {"access", Call(Access)},
    {"stat", Call(Stat)},           {"lstat", Call(Lstat)},       {"fstat", Call(Fstat)},
    {"ftruncate", Call(Ftruncate)}, {"read", Call(Read)},         {"pread", Call(PRead)},
    {"pread64", Call(PRead)},       {"write", Call(Write)},       {"pwrite", Call(PWrite)},
    {"pwrite64", Call(PWrite)},     {"fchmod", Call(Fchmod)},     {"unlink", Call(Unlink)},
    {"mkdir", Call(Mkdir)},         {"readlink", Call(Readlink)},
};

// A file of the seam's VFS: the unix VFS's file follows it, and does all but the syncs.
struct File {
  sqlite3_file base;
  int fd;            // -1 when the unix VFS reused a descriptor it kept
  bool sync_folder;  // a new journal: its name is synced in its folder at its first sync
  const char* name;  // SQLite keeps it until the file is closed
  sqlite3_file* Unix() { return reinterpret_cast<sqlite3_file*>(this + 1); }
  const sqlite3_io_methods* Methods() { return Unix()->pMethods; }
};
// SQLite aligns a file to 8 bytes, which the unix VFS's file after this one needs too.
static_assert(alignof(File) <= 8 && sizeof(File) % 8 == 0);

File* Of(sqlite3_file* f) { return reinterpret_cast<File*>(f); }

int FileClose(sqlite3_file* f) { return Of(f)->Methods()->xClose(Of(f)->Unix()); }
int FileRead(sqlite3_file* f, void* data, int n, sqlite3_int64 at) {
  return Of(f)->Methods()->xRead(Of(f)->Unix(), data, n, at);
}
int FileWrite(sqlite3_file* f, const void* data, int n, sqlite3_int64 at) {
  return Of(f)->Methods()->xWrite(Of(f)->Unix(), data, n, at);
}
int FileTruncate(sqlite3_file* f, sqlite3_int64 size) {
  return Of(f)->Methods()->xTruncate(Of(f)->Unix(), size);
}
// The file's sync, and a new journal's folder, through the seam first; the unix VFS's own
// then repeats them outside it.
int FileSync(sqlite3_file* f, int flags) {
  if (Of(f)->fd >= 0 && nb::TheOs().Fsync(Of(f)->fd) != 0) return SQLITE_IOERR_FSYNC;
  if (Of(f)->sync_folder) {
    if (!nb::SyncFolder(nb::FolderOf(Of(f)->name))) return SQLITE_IOERR_DIR_FSYNC;
    Of(f)->sync_folder = false;
  }
  return Of(f)->Methods()->xSync(Of(f)->Unix(), flags);
}
int FileSize(sqlite3_file* f, sqlite3_int64* size) {
  return Of(f)->Methods()->xFileSize(Of(f)->Unix(), size);
}
int FileLock(sqlite3_file* f, int level) { return Of(f)->Methods()->xLock(Of(f)->Unix(), level); }
int FileUnlock(sqlite3_file* f, int level) {
  return Of(f)->Methods()->xUnlock(Of(f)->Unix(), level);
}
int FileReserved(sqlite3_file* f, int* out) {
  return Of(f)->Methods()->xCheckReservedLock(Of(f)->Unix(), out);
}
int FileControl(sqlite3_file* f, int op, void* arg) {
  return Of(f)->Methods()->xFileControl(Of(f)->Unix(), op, arg);
}
int FileSectorSize(sqlite3_file* f) { return Of(f)->Methods()->xSectorSize(Of(f)->Unix()); }
int FileCharacteristics(sqlite3_file* f) {
  return Of(f)->Methods()->xDeviceCharacteristics(Of(f)->Unix());
}
int FileShmMap(sqlite3_file* f, int page, int size, int extend, void volatile** out) {
  return Of(f)->Methods()->xShmMap(Of(f)->Unix(), page, size, extend, out);
}
int FileShmLock(sqlite3_file* f, int offset, int n, int flags) {
  return Of(f)->Methods()->xShmLock(Of(f)->Unix(), offset, n, flags);
}
void FileShmBarrier(sqlite3_file* f) { Of(f)->Methods()->xShmBarrier(Of(f)->Unix()); }
int FileShmUnmap(sqlite3_file* f, int remove) {
  return Of(f)->Methods()->xShmUnmap(Of(f)->Unix(), remove);
}
int FileFetch(sqlite3_file* f, sqlite3_int64 at, int n, void** out) {
  return Of(f)->Methods()->xFetch(Of(f)->Unix(), at, n, out);
}
int FileUnfetch(sqlite3_file* f, sqlite3_int64 at, void* p) {
  return Of(f)->Methods()->xUnfetch(Of(f)->Unix(), at, p);
}

const sqlite3_io_methods kFileMethods = {3,
                                         FileClose,
                                         FileRead,
                                         FileWrite,
                                         FileTruncate,
                                         FileSync,
                                         FileSize,
                                         FileLock,
                                         FileUnlock,
                                         FileReserved,
                                         FileControl,
                                         FileSectorSize,
                                         FileCharacteristics,
                                         FileShmMap,
                                         FileShmLock,
                                         FileShmBarrier,
                                         FileShmUnmap,
                                         FileFetch,
                                         FileUnfetch};

sqlite3_vfs g_vfs;
sqlite3_vfs* Unix() { return static_cast<sqlite3_vfs*>(g_vfs.pAppData); }

int VfsOpen(sqlite3_vfs*, const char* name, sqlite3_file* f, int flags, int* out_flags) {
  File* file = Of(f);
  file->fd = -1;
  file->name = name;
  file->sync_folder = name && (flags & SQLITE_OPEN_CREATE) &&
                      (flags & (SQLITE_OPEN_MAIN_JOURNAL | SQLITE_OPEN_WAL));
  g_opened = &file->fd;
  const int rc = Unix()->xOpen(Unix(), name, file->Unix(), flags, out_flags);
  g_opened = nullptr;
  // Without methods SQLite closes nothing.
  f->pMethods = rc == SQLITE_OK && file->Unix()->pMethods ? &kFileMethods : nullptr;
  return rc;
}

// A journal's removal commits a transaction; with a folder sync asked for (synchronous
// EXTRA), the folder is synced through the seam.
int VfsDelete(sqlite3_vfs*, const char* name, int sync_folder) {
  const int rc = Unix()->xDelete(Unix(), name, 0);
  if (rc == SQLITE_OK && sync_folder && !nb::SyncFolder(nb::FolderOf(name)))
    return SQLITE_IOERR_DIR_FSYNC;
  return rc;
}

struct Routing {
  sqlite3_vfs* posix = nullptr;
  // Unloading this library takes these functions away: SQLite gets its own back.
  ~Routing() {
    if (!posix) return;
    sqlite3_vfs_unregister(&g_vfs);
    posix->xSetSystemCall(posix, nullptr, nullptr);
  }
};
Routing g_routing;

}  // namespace

const char* SeamVfs() {
  static std::once_flag once;
  std::call_once(once, [] {
    sqlite3_vfs* posix = sqlite3_vfs_find("unix");
    if (!posix || posix->iVersion < 3 || !posix->xSetSystemCall || posix->xOpen == nullptr) return;
    for (const auto& [name, call] : kCalls) posix->xSetSystemCall(posix, name, call);
    g_vfs = *posix;
    g_vfs.szOsFile = int(sizeof(File)) + posix->szOsFile;
    g_vfs.zName = "nbseam";
    g_vfs.pAppData = posix;
    g_vfs.pNext = nullptr;
    g_vfs.xOpen = VfsOpen;
    g_vfs.xDelete = VfsDelete;
    if (sqlite3_vfs_register(&g_vfs, 0) != SQLITE_OK) {
      posix->xSetSystemCall(posix, nullptr, nullptr);
      return;
    }
    g_routing.posix = posix;
  });
  return g_routing.posix ? g_vfs.zName : nullptr;
}

}  // namespace mdb::data
