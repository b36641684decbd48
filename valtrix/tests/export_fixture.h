// A Valtrix program folder for export tests: a fresh desktop prefix, the program folder
// with System, Inbox and Outbox below it set as the program's folders, and the System
// folder filled by the aprgen program.
#pragma once

#include <spawn.h>
#include <strings.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "globals.h"
#include "test_prefix.h"

extern char** environ;

namespace export_fixture {

// Runs aprgen with the arguments and the System folder; true when it exits with 0.
inline bool RunAprgen(const std::vector<std::string>& args, const std::string& folder) {
  std::vector<std::string> all = {NB_BIN_DIR "/aprgen"};
  all.insert(all.end(), args.begin(), args.end());
  all.push_back(folder);
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline std::vector<std::string> Files(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Overwrites the first byte of a field of record `index` (0-based) in a dBASE table file,
// for values the table layer never writes (a logical without a value is "?").
inline bool PokeField(const std::string& dbf, size_t index, std::string_view field, char byte) {
  std::fstream f(dbf, std::ios::in | std::ios::out | std::ios::binary);
  std::string head(32, '\0');
  if (!f.read(head.data(), 32)) return false;
  auto u16 = [&](size_t at) {
    return size_t(uint8_t(head[at])) | size_t(uint8_t(head[at + 1])) << 8;
  };
  const size_t header = u16(8), record = u16(10);
  size_t offset = 1;
  for (size_t at = 32; at + 32 <= header; at += 32) {
    std::string d(32, '\0');
    f.seekg(static_cast<std::streamoff>(at));
    if (!f.read(d.data(), 32) || d[0] == '\r') return false;
    std::string name = d.substr(0, std::min<size_t>(11, d.find('\0')));
    if (strcasecmp(name.c_str(), std::string(field).c_str()) == 0) {
      f.seekp(static_cast<std::streamoff>(header + index * record + offset));
      return static_cast<bool>(f.put(byte).flush());
    }
    offset += uint8_t(d[16]);
  }
  return false;
}

class ProgramFolder {
 public:
  explicit ProgramFolder(const std::vector<std::string>& aprgen_args = {}) {
    folders_ = valtrix::MakeFolders(prefix_.path() + "/Valtrix");
    for (const std::string& f : {folders_.system, folders_.inbox, folders_.outbox}) {
      std::filesystem::create_directories(f);
    }
    valtrix::SetAppFolders(folders_);
    generated_ = RunAprgen(aprgen_args, folders_.system);
  }
  bool generated() const { return generated_; }
  const valtrix::Folders& folders() const { return folders_; }
  std::string ErrorLog() const { return ReadFile(folders_.program + "/errorlog.txt"); }
  std::vector<std::string> InboxFiles() const { return Files(folders_.inbox); }

 private:
  nb::testing::TempPrefix prefix_;
  valtrix::Folders folders_;
  bool generated_ = false;
};

}  // namespace export_fixture
