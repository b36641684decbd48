#include "unfinished_files.h"

#include <dirent.h>
#include <strings.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <string>

#include "globals.h"

namespace valtrix {
namespace {

bool EndsWithNoCase(const std::string& s, const char* suffix) {
  size_t n = std::strlen(suffix);
  return s.size() >= n && strcasecmp(s.c_str() + s.size() - n, suffix) == 0;
}

// "name.vxa." and the six characters mkstemp puts in.
bool UnfinishedExport(const std::string& name) {
  if (name.size() < 11) return false;
  for (size_t i = name.size() - 6; i < name.size(); ++i)
    if (!std::isalnum(static_cast<unsigned char>(name[i]))) return false;
  return EndsWithNoCase(name.substr(0, name.size() - 6), ".vxa.");
}

template <typename Match>
void RemoveIn(const std::string& folder, Match match) {
  DIR* d = opendir(folder.c_str());
  if (!d) return;
  while (dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    if (!match(name) || unlink((folder + name).c_str()) != 0) continue;
    LogError("Recovered: removed " + folder + name + ", left by an interrupted write");
  }
  closedir(d);
}

}  // namespace

void RemoveUnfinishedExports() { RemoveIn(AppFolders().inbox, UnfinishedExport); }

void RemoveUnfinishedTableFiles() {
  RemoveIn(AppFolders().system,
           [](const std::string& name) { return EndsWithNoCase(name, ".pdb.tmp"); });
}

}  // namespace valtrix
