#include "platform/installation.h"

#include <dlfcn.h>

#include <filesystem>

namespace nb {

namespace fs = std::filesystem;

std::string ProgramDir() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string(".") : self.parent_path().string();
}

std::string LibraryDir() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&LibraryDir), &info) || !info.dli_fname) return ProgramDir();
  std::error_code ec;
  fs::path lib = fs::weakly_canonical(fs::absolute(info.dli_fname, ec), ec);
  return ec ? ProgramDir() : lib.parent_path().string();
}

std::string Version() { return NB_VERSION; }

}  // namespace nb
