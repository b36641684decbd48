#include "record.h"

#include <fcntl.h>
#include <stdint.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace nb {
namespace {

// The recorder's own calls go to the plain system, never through TheOs().
Os& Plain() {
  static Os plain;
  return plain;
}

void Put(std::string* out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out->push_back(char((value >> (8 * i)) & 0xff));
}
void PutText(std::string* out, const void* data, size_t n) {
  Put(out, n, 4);
  out->append(static_cast<const char*>(data), n);
}
void PutText(std::string* out, const std::string& text) { PutText(out, text.data(), text.size()); }

// Absolute, with its folder's links resolved: the name a replay finds it under.
std::string Resolved(const char* path) {
  std::string absolute = AbsolutePath(path);
  while (absolute.size() > 1 && absolute.back() == '/') absolute.pop_back();
  const std::string folder = FolderOf(absolute);
  char real[PATH_MAX];
  if (!::realpath(folder.c_str(), real)) return absolute;
  const std::string base = absolute.substr(absolute.rfind('/') + 1);
  return std::string(real) == "/" ? "/" + base : std::string(real) + "/" + base;
}

bool Writes(int flags) { return (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC)) != 0; }

}  // namespace

// Holds the process's mutex and the log's lock from before a call until its record is written.
class RecordingOs::Locked {
 public:
  explicit Locked(RecordingOs& os) : os_(os), lock_(os.mutex_) {
    if (os_.log_ < 0 && !os_.failed_) {
      os_.log_ =
          Plain().Open(os_.log_path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
      if (os_.log_ < 0) Fail();
    }
    if (os_.log_ >= 0) Plain().Flock(os_.log_, LOCK_EX);
  }
  ~Locked() {
    if (os_.log_ >= 0) Plain().Flock(os_.log_, LOCK_UN);
  }
  // Starts a record of `kind`; fields follow through Put and PutText.
  std::string* Begin(Kind kind) {
    record_.assign(4, '\0');
    record_.push_back(char(kind));
    Put(&record_, uint64_t(getpid()), 4);
    return &record_;
  }
  std::string* BeginFile(Kind kind, const File& file) {
    Begin(kind);
    Put(&record_, uint64_t(file.dev), 8);
    Put(&record_, uint64_t(file.ino), 8);
    return &record_;
  }
  void Commit() {
    if (os_.log_ < 0) return;
    const uint64_t size = record_.size() - 4;
    for (int i = 0; i < 4; ++i) record_[size_t(i)] = char((size >> (8 * i)) & 0xff);
    if (Plain().Write(os_.log_, record_.data(), record_.size()) != ssize_t(record_.size())) Fail();
  }

 private:
  void Fail() {
    fprintf(stderr, "NB_RECORD=%s: cannot write the log: %s; recording stops\n",
            os_.log_path_.c_str(), strerror(errno));
    if (os_.log_ >= 0) Plain().Close(os_.log_);
    os_.log_ = -1;
    os_.failed_ = true;
  }
  RecordingOs& os_;
  std::lock_guard<std::mutex> lock_;
  std::string record_;
};

bool RecordingOs::Tracked(int fd, File* file) {
  auto it = files_.find(fd);
  if (it == files_.end()) return false;
  *file = it->second;
  return true;
}

void RecordingOs::Track(int fd, const std::string& path) {
  struct stat st;
  if (Plain().Fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))) {
    files_.erase(fd);
    return;
  }
  files_[fd] = File{st.st_dev, st.st_ino, S_ISDIR(st.st_mode), path};
}

int RecordingOs::Open(const char* path, int flags, mode_t mode) {
  if (!Writes(flags)) {
    const int fd = inner_.Open(path, flags, mode);
    if (fd < 0) return fd;
    const int err = errno;
    std::lock_guard<std::mutex> lock(mutex_);
    Track(fd, Resolved(path));
    errno = err;
    return fd;
  }
  Locked lock(*this);
  const int fd = inner_.Open(path, flags, mode);
  if (fd < 0) return fd;
  const int err = errno;
  Track(fd, Resolved(path));
  File file;
  if (Tracked(fd, &file) && !file.folder) {
    std::string* r = lock.BeginFile(kOpenRecord, file);
    Put(r, uint32_t(flags), 4);
    Put(r, uint32_t(S_IFREG | (mode & 07777)), 4);
    PutText(r, file.path);
    lock.Commit();
  }
  errno = err;
  return fd;
}

bool RecordingOs::IsTracked(int fd) {
  std::lock_guard<std::mutex> lock(mutex_);
  return files_.count(fd) != 0;
}

ssize_t RecordingOs::Write(int fd, const void* data, size_t n) {
  // Sockets, pipes and lines may block: they never hold the log.
  if (!IsTracked(fd)) return inner_.Write(fd, data, n);
  Locked lock(*this);
  File file;
  const ssize_t put = inner_.Write(fd, data, n);
  if (put <= 0 || !Tracked(fd, &file)) return put;
  const int err = errno;
  const off_t end = ::lseek(fd, 0, SEEK_CUR);
  std::string* r = lock.BeginFile(kWriteRecord, file);
  Put(r, uint64_t(end - put), 8);
  PutText(r, data, size_t(put));
  lock.Commit();
  errno = err;
  return put;
}

ssize_t RecordingOs::PWrite(int fd, const void* data, size_t n, off_t offset) {
  if (!IsTracked(fd)) return inner_.PWrite(fd, data, n, offset);
  Locked lock(*this);
  File file;
  const ssize_t put = inner_.PWrite(fd, data, n, offset);
  if (put <= 0 || !Tracked(fd, &file)) return put;
  std::string* r = lock.BeginFile(kWriteRecord, file);
  Put(r, uint64_t(offset), 8);
  PutText(r, data, size_t(put));
  lock.Commit();
  return put;
}

int RecordingOs::Fsync(int fd) {
  if (!IsTracked(fd)) return inner_.Fsync(fd);
  Locked lock(*this);
  File file;
  const int result = inner_.Fsync(fd);
  if (result != 0 || !Tracked(fd, &file)) return result;
  std::string* r = lock.BeginFile(kFsyncRecord, file);
  Put(r, file.folder ? 1 : 0, 1);
  PutText(r, file.path);
  lock.Commit();
  return result;
}

int RecordingOs::Close(int fd) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    files_.erase(fd);
  }
  return inner_.Close(fd);
}

int RecordingOs::Dup(int fd) {
  std::lock_guard<std::mutex> lock(mutex_);
  const int copy = inner_.Dup(fd);
  File file;
  if (copy >= 0 && Tracked(fd, &file)) files_[copy] = file;
  return copy;
}

int RecordingOs::Dup2(int fd, int to) {
  std::lock_guard<std::mutex> lock(mutex_);
  const int copy = inner_.Dup2(fd, to);
  File file;
  if (copy >= 0 && copy != fd) {
    if (Tracked(fd, &file))
      files_[copy] = file;
    else
      files_.erase(copy);
  }
  return copy;
}

int RecordingOs::Rename(const char* from, const char* to) {
  Locked lock(*this);
  const std::string old_name = Resolved(from);
  const int result = inner_.Rename(from, to);
  if (result != 0) return result;
  std::string* r = lock.Begin(kRenameRecord);
  PutText(r, old_name);
  PutText(r, Resolved(to));
  lock.Commit();
  return result;
}

int RecordingOs::Unlink(const char* path) {
  Locked lock(*this);
  const int result = inner_.Unlink(path);
  if (result != 0) return result;
  PutText(lock.Begin(kUnlinkRecord), Resolved(path));
  lock.Commit();
  return result;
}

int RecordingOs::Mkdir(const char* path, mode_t mode) {
  Locked lock(*this);
  const int result = inner_.Mkdir(path, mode);
  if (result != 0) return result;
  PutText(lock.Begin(kMkdirRecord), Resolved(path));
  lock.Commit();
  return result;
}

int RecordingOs::Chmod(const char* path, mode_t mode) {
  Locked lock(*this);
  const int result = inner_.Chmod(path, mode);
  if (result != 0) return result;
  std::string* r = lock.Begin(kChmodRecord);
  PutText(r, Resolved(path));
  Put(r, uint32_t(mode), 4);
  lock.Commit();
  return result;
}

int RecordingOs::Fchmod(int fd, mode_t mode) {
  Locked lock(*this);
  File file;
  const int result = inner_.Fchmod(fd, mode);
  if (result != 0 || !Tracked(fd, &file)) return result;
  std::string* r = lock.Begin(kChmodRecord);
  PutText(r, file.path);
  Put(r, uint32_t(mode), 4);
  lock.Commit();
  return result;
}

int RecordingOs::Ftruncate(int fd, off_t size) {
  Locked lock(*this);
  File file;
  const int result = inner_.Ftruncate(fd, size);
  if (result != 0 || !Tracked(fd, &file)) return result;
  Put(lock.BeginFile(kTruncateRecord, file), uint64_t(size), 8);
  lock.Commit();
  return result;
}

int RecordingOs::Symlink(const char* target, const char* path) {
  Locked lock(*this);
  const int result = inner_.Symlink(target, path);
  if (result != 0) return result;
  std::string* r = lock.Begin(kSymlinkRecord);
  PutText(r, std::string(target));
  PutText(r, Resolved(path));
  lock.Commit();
  return result;
}

void* RecordingOs::Mmap(size_t n, int prot, int flags, int fd, off_t offset) {
  std::lock_guard<std::mutex> lock(mutex_);
  void* map = inner_.Mmap(n, prot, flags, fd, offset);
  File file;
  if (map != MAP_FAILED && (prot & PROT_WRITE) && (flags & MAP_SHARED) && Tracked(fd, &file))
    mappings_[static_cast<char*>(map)] = Mapping{file, offset, n};
  return map;
}

int RecordingOs::Msync(void* address, size_t n, int flags) {
  Locked lock(*this);
  const int result = inner_.Msync(address, n, flags);
  char* at = static_cast<char*>(address);
  auto it = mappings_.upper_bound(at);
  if (result != 0 || it == mappings_.begin()) return result;
  --it;
  const Mapping& m = it->second;
  if (at + n > it->first + m.size) return result;
  std::string* r = lock.BeginFile(kMsyncRecord, m.file);
  Put(r, uint64_t(m.offset + (at - it->first)), 8);
  PutText(r, at, n);
  lock.Commit();
  return result;
}

int RecordingOs::Munmap(void* address, size_t n) {
  Locked lock(*this);
  auto it = mappings_.find(static_cast<char*>(address));
  if (it != mappings_.end()) {
    // What the mapping holds reached the cache, not the disk.
    std::string* r = lock.BeginFile(kMunmapRecord, it->second.file);
    Put(r, uint64_t(it->second.offset), 8);
    PutText(r, address, it->second.size);
    lock.Commit();
    mappings_.erase(it);
  }
  return inner_.Munmap(address, n);
}

}  // namespace nb
