#include "shared_block.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "environment.h"
#include "platform/os.h"
#include "platform/prefix.h"

namespace syncutil {
namespace {

int g_fd = -1;
SharedBlock* g_block = nullptr;

}  // namespace

SharedBlock* Block() {
  EnsureStarted();
  return g_block;
}

SharedBlock* MapBlock() {
  nb::Os& os = nb::TheOs();
  std::string path = nb::RunDir() + "/syncutil.shm";
  int fd = os.Open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    std::fprintf(stderr, "syncutil: cannot open %s: %s\n", path.c_str(), strerror(errno));
    return nullptr;
  }
  os.Flock(fd, LOCK_EX);
  struct stat st;
  if (os.Fstat(fd, &st) != 0 || static_cast<size_t>(st.st_size) != kBlockSize) {
    // First process on the machine: an empty queue.
    if (os.Ftruncate(fd, 0) != 0 || os.Ftruncate(fd, kBlockSize) != 0) {
      std::fprintf(stderr, "syncutil: cannot size %s: %s\n", path.c_str(), strerror(errno));
      os.Flock(fd, LOCK_UN);
      os.Close(fd);
      return nullptr;
    }
    int32_t empty = -1;
    if (!nb::PWriteAll(fd, &empty, sizeof empty, offsetof(SharedBlock, read_index))) {
      std::fprintf(stderr, "syncutil: cannot write %s\n", path.c_str());
    }
  }
  os.Flock(fd, LOCK_UN);
  void* map = os.Mmap(kBlockSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (map == MAP_FAILED) {
    std::fprintf(stderr, "syncutil: cannot map %s: %s\n", path.c_str(), strerror(errno));
    os.Close(fd);
    return nullptr;
  }
  g_fd = fd;
  g_block = static_cast<SharedBlock*>(map);
  return g_block;
}

void UnmapBlock() {
  if (g_block) nb::TheOs().Munmap(g_block, kBlockSize);
  if (g_fd >= 0) nb::TheOs().Close(g_fd);
  g_block = nullptr;
  g_fd = -1;
}

void SyncBlock() {
  if (g_block && nb::TheOs().Msync(g_block, kBlockSize, MS_SYNC) != 0)
    std::fprintf(stderr, "syncutil: cannot bring the command queue to the disk: %s\n",
                 strerror(errno));
}

QueueLock::QueueLock() {
  if (g_fd >= 0) nb::TheOs().Flock(g_fd, LOCK_EX);
}

QueueLock::~QueueLock() {
  if (g_fd >= 0) nb::TheOs().Flock(g_fd, LOCK_UN);
}

size_t CopyOut(char* dest, size_t size, const char* value) {
  size_t len = std::strlen(value);
  if (dest && size > 0) {
    std::memset(dest, 0, size);
    std::memcpy(dest, value, len < size - 1 ? len : size - 1);
  }
  return len;
}

void CopyIn(char* field, size_t field_size, const char* value) {
  std::memset(field, 0, field_size);
  if (!value) return;
  size_t len = strnlen(value, field_size - 1);
  std::memcpy(field, value, len);
}

}  // namespace syncutil
