#include "program_folder.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "platform/os.h"

namespace valtrix {

namespace fs = std::filesystem;

namespace {

std::string FolderOf(const fs::path& file) {
  std::string folder = fs::path(nb::AbsolutePath(file)).parent_path().string();
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

}  // namespace

std::string ProgramFolder(const char* argv0) {
  std::string name = argv0 ? argv0 : "";
  if (name.find('/') != std::string::npos) return FolderOf(name);
  if (const char* path = std::getenv("PATH"); path && !name.empty()) {
    std::stringstream dirs(path);
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
      fs::path candidate = fs::path(dir.empty() ? "." : dir) / name;
      if (nb::TheOs().Access(candidate.c_str(), X_OK) == 0) return FolderOf(candidate);
    }
  }
  std::string self;
  // Without it, the current folder: the folder "./" is in.
  return FolderOf(nb::TheOs().Readlink("/proc/self/exe", &self) == 0 ? self : "./");
}

}  // namespace valtrix
