// A fresh desktop per test and the hotsync program run as a real process.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "pdbfile/pdbfile.h"
#include "test_files.h"
#include "test_prefix.h"

namespace hotsync::testing {

using nb::testing::Shell;
using nb::testing::Slurp;

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A handheld folder with its handheld.ini.
inline std::string MakeHandheld(const std::string& folder, const std::string& user,
                                const std::string& id) {
  std::filesystem::create_directories(folder);
  std::ofstream(folder + "/handheld.ini")
      << "[Handheld]\r\nUserName=" << user << "\r\nUserID=" << id << "\r\n";
  return folder;
}

inline void PutDatabase(const std::string& path, const std::string& name, uint32_t creator,
                        std::vector<std::vector<uint8_t>> records = {}) {
  nb::pdb::Database db;
  db.name = name;
  db.type = 0x44415441;  // DATA
  db.creator = creator;
  for (auto& r : records) db.records.push_back(nb::pdb::Record{std::move(r)});
  ASSERT_TRUE(nb::pdb::WriteFile(path, db));
}

class HotSyncTest : public ::testing::Test {
 protected:
  int HotSync(const std::string& args) {
    return Shell(std::string(NB_BIN_DIR "/hotsync ") + args, &output_);
  }
  std::string Drive(const std::string& path) { return prefix_.path() + "/drive_c/" + path; }

  nb::testing::TempPrefix prefix_;
  std::string output_;
};

}  // namespace hotsync::testing
