#include "dbase/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/os.h"

namespace dbase {

bool File::Open(const std::string& path, Mode mode) {
  Close();
  int flags = O_CLOEXEC;
  // A table or memo file that is a link is neither read nor written: it could point out of
  // the folder (ELOOP).
  if (mode == Mode::kRead) flags |= O_RDONLY | O_NOFOLLOW;
  if (mode == Mode::kReadWrite) flags |= O_RDWR | O_NOFOLLOW;
  if (mode == Mode::kCreate) flags |= O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW;
  fd_ = nb::TheOs().Open(path.c_str(), flags, 0666);
  if (fd_ < 0) return false;
  struct stat st;
  if (nb::TheOs().Fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    Close();
    return false;
  }
  return true;
}

bool File::CreateBeside(const std::string& path, std::string* temp) {
  Close();
  struct stat st;
  const mode_t mode = nb::TheOs().Stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
  fd_ = nb::CreateTemporaryFor(path, temp);
  if (fd_ < 0) {
    temp->clear();
    return false;
  }
  if (nb::TheOs().Fchmod(fd_, mode) != 0) {
    const int err = errno;
    Close();
    nb::TheOs().Unlink(temp->c_str());
    errno = err;
    return false;
  }
  return true;
}

void File::Close() {
  if (fd_ >= 0) nb::TheOs().Close(fd_);
  fd_ = -1;
}

int64_t File::ReadAt(uint64_t offset, void* data, size_t n) const {
  size_t done = 0;
  while (done < n) {
    ssize_t got =
        nb::TheOs().PRead(fd_, static_cast<char*>(data) + done, n - done, off_t(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += size_t(got);
  }
  return int64_t(done);
}

bool File::WriteAt(uint64_t offset, const void* data, size_t n) {
  return nb::PWriteAll(fd_, data, n, off_t(offset));
}

bool File::Sync() { return nb::TheOs().Fsync(fd_) == 0; }

int64_t File::Size() const {
  struct stat st;
  return nb::TheOs().Fstat(fd_, &st) == 0 ? int64_t(st.st_size) : -1;
}

}  // namespace dbase
