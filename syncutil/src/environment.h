// The HotSync environment of this process, read once from the registry when the library
// starts: at the first use of an export that needs the shared block or the environment.
#pragma once

#include <cstdint>
#include <string>

namespace syncutil {

struct Environment {
  std::string nimbra_dir;    // runtime installation folder, as stored
  std::string palm_key;      // per-user Palm desktop key under HKEY_CURRENT_USER
  std::string hotsync_path;  // HotSync program path
  std::string hotsync_dir;   // drive and folder of the program path, no trailing separator
  std::string hotsync_data;  // HotSync data folder
  uint32_t hotsync_version = 0;
};

// Starts the library once per process: maps the shared block, reads the environment
// (a box when the runtime is not installed) and registers the IPC message. A program that
// only prints its help never gets here.
void EnsureStarted();

void ReadEnvironment();
// Starts the library first.
const Environment& Env();

// Joins two Windows path parts with one backslash.
std::string JoinPath(const std::string& left, const std::string& right);

}  // namespace syncutil
