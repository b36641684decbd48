#include "sync_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "desktop.h"
#include "platform/os.h"
#include "platform/prefix.h"

namespace hotsync {
namespace {

// Who holds the lock, as the holder wrote it; empty when unknown.
std::string Holder() {
  std::string text;
  if (!nb::ReadWholeFile(SyncLockFile(), &text)) return "";
  const long pid = std::atol(text.c_str());
  return pid > 0 ? " (process " + std::to_string(pid) + ")" : "";
}

}  // namespace

std::string SyncLockFile() {
  const std::string dir = nb::RunDir() + "/hotsync";
  nb::MakeDirs(dir);
  return dir + "/synchronisation.lock";
}

std::unique_ptr<SyncLock> SyncLock::Take(WhenBusy busy, std::string* error) {
  nb::Os& os = nb::TheOs();
  const std::string path = SyncLockFile();
  const int fd = os.Open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = "cannot open the synchronisation lock " + path + ": " + std::strerror(errno);
    return nullptr;
  }
  int r;
  while ((r = os.Flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
  }
  if (r != 0 && errno == EWOULDBLOCK) {
    const std::string other = "the synchronisation already running on this desktop" + Holder();
    if (busy == WhenBusy::kRefuse) {
      os.Close(fd);
      *error = "HotSync Manager is busy: " + other + " has not finished";
      return nullptr;
    }
    Say("Waiting for " + other + " to finish ...");
    while ((r = os.Flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
  }
  if (r != 0) {
    *error = "cannot lock " + path + ": " + std::strerror(errno);
    os.Close(fd);
    return nullptr;
  }
  // Fixed width, so a shorter number needs no truncation.
  char pid[16];
  std::snprintf(pid, sizeof pid, "%-10d\n", int(getpid()));
  nb::PWriteAll(fd, pid, std::strlen(pid), 0);
  return std::unique_ptr<SyncLock>(new SyncLock(fd));
}

SyncLock::~SyncLock() { nb::TheOs().Close(fd_); }

}  // namespace hotsync
