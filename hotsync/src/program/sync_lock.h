// One synchronisation per desktop at a time: the queue, the tables and the handheld belong
// to one synchronisation. The lock is an exclusive flock on a file in the desktop's run
// folder, so the kernel drops it when its holder ends, however it ends; a killed
// synchronisation never blocks the next one.
#pragma once

#include <memory>
#include <string>

namespace hotsync {

class SyncLock {
 public:
  enum class WhenBusy { kWait, kRefuse };
  // Null with the reason when the lock file cannot be used, or with kRefuse while another
  // synchronisation holds it. kWait says so on standard output and waits for it.
  static std::unique_ptr<SyncLock> Take(WhenBusy busy, std::string* error);
  ~SyncLock();
  SyncLock(const SyncLock&) = delete;
  SyncLock& operator=(const SyncLock&) = delete;

 private:
  explicit SyncLock(int fd) : fd_(fd) {}
  int fd_;
};

// The lock file of this desktop.
std::string SyncLockFile();

}  // namespace hotsync
