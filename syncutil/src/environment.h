// The HotSync environment of this process, read once from the registry at load.
#pragma once

#include <cstdint>
#include <string>

namespace syncutil {

struct Environment {
  std::string nimbra_dir;     // runtime installation folder, as stored
  std::string palm_key;       // per-user Palm desktop key under HKEY_CURRENT_USER
  std::string hotsync_path;   // HotSync program path
  std::string hotsync_dir;    // drive and folder of the program path, no trailing separator
  std::string hotsync_data;   // HotSync data folder
  uint32_t hotsync_version = 0;
};

void ReadEnvironment();
const Environment& Env();

// Joins two Windows path parts with one backslash.
std::string JoinPath(const std::string& left, const std::string& right);

}  // namespace syncutil
