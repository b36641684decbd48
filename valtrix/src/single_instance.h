// One running program per program folder: a lock held for the life of the process.
#pragma once

#include <memory>
#include <string>

namespace valtrix {

class InstanceLock {
 public:
  // Null when another process holds the lock of this program folder; throws
  // std::runtime_error when the lock file cannot be created.
  static std::unique_ptr<InstanceLock> Acquire(const std::string& program_folder);
  ~InstanceLock();

 private:
  explicit InstanceLock(int fd) : fd_(fd) {}
  int fd_;
};

}  // namespace valtrix
