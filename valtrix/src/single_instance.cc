#include "single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <stdexcept>

#include "platform/os.h"
#include "platform/prefix.h"

namespace valtrix {

std::unique_ptr<InstanceLock> InstanceLock::Acquire(const std::string& program_folder) {
  // FNV-1a keeps the lock name stable across builds and processes.
  uint64_t hash = 1469598103934665603ull;
  for (unsigned char c : program_folder) hash = (hash ^ c) * 1099511628211ull;
  char name[64];
  std::snprintf(name, sizeof name, "/valtrix-%016llx.lock", static_cast<unsigned long long>(hash));
  int fd = nb::TheOs().Open((nb::RunDir() + name).c_str(),
                            O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) throw std::runtime_error("cannot create the instance lock in " + nb::RunDir());
  if (nb::TheOs().Flock(fd, LOCK_EX | LOCK_NB) != 0) {
    nb::TheOs().Close(fd);
    return nullptr;
  }
  return std::unique_ptr<InstanceLock>(new InstanceLock(fd));
}

InstanceLock::~InstanceLock() { nb::TheOs().Close(fd_); }

}  // namespace valtrix
