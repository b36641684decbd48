// A fresh desktop with the conduit registered for 'QMNB' and a virtual handheld holding
// the runtime's directory database; helpers to queue, sync and read the HotSync log.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "pdbfile/bytes.h"
#include "pdbfile/pdbfile.h"
#include "platform/bus.h"
#include "syncutil_loader.h"
#include "test_files.h"
#include "test_prefix.h"

namespace nb::testing {

constexpr uint32_t kQMNB = 0x514D4E42;

// Runs a shell command; returns its exit status, output (stdout and stderr) in *out.
class ConduitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(NB_BIN_DIR "/hotsync"))
      GTEST_SKIP() << "the hotsync program is not built";
    handheld_ = prefix_.path() + "/handheld";
    std::filesystem::create_directories(handheld_);
    std::ofstream(handheld_ + "/handheld.ini") << "[Handheld]\r\nUserName=Pat Appraiser\r\n"
                                                  "UserID=4242\r\n";
    ASSERT_EQ(HotSync("init"), 0) << output_;
    ASSERT_EQ(HotSync("conduits add QMNB"), 0) << output_;
    pdb::Database dir;
    dir.name = "NB-EE_SysHeap";
    dir.type = pdb::FourCC("DATA");
    dir.creator = kQMNB;
    dir.app_info = {'N', 'B', 'D', 'R', 0x02, 0x10, 0, 0, 0x10, 0x92};
    dir.app_info.resize(26);
    ASSERT_TRUE(pdb::WriteFile(handheld_ + "/NB-EE_SysHeap.pdb", dir));
    su_ = std::make_unique<SyncUtil>();
  }

  int HotSync(const std::string& args) {
    return Shell(std::string(NB_BIN_DIR "/hotsync ") + args, &output_);
  }
  int Sync() { return HotSync("sync --handheld '" + handheld_ + "'"); }

  int Queue(uint32_t type, const char* file, uint32_t creator = kQMNB,
            const char* plugin = "pdbdevice.dll", uint32_t p1 = 0, uint32_t p2 = 0,
            uint32_t p3 = 0) {
    return NB_FN(*su_, NB_AddToCommandQueueEx)(type, file, creator, plugin, p1, p2, p3);
  }

  // Whether the HotSync log has a line of this activity and text (time stamp aside).
  bool LogHas(int activity, const std::string& text) {
    std::string log;
    Shell(std::string(NB_BIN_DIR "/hotsync log --raw"), &log);
    std::istringstream lines(log);
    std::string line, want = std::to_string(activity) + "\t";
    while (std::getline(lines, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.rfind(want, 0) != 0) continue;
      std::string rest = line.substr(want.size());
      // HotSync puts "<name> (<creator>)" before the conduit's own start and end texts.
      if (activity >= 19 && activity <= 21 && !rest.empty() && rest.back() == ')') rest.clear();
      if (activity >= 19 && activity <= 21 && rest.find(") ") != std::string::npos)
        rest = rest.substr(rest.find(") ") + 2);
      if (rest == text) return true;
      // "YYYY-MM-DD HH:MM:SS " before a time-stamped text.
      if (rest.size() >= 20 && rest[4] == '-' && rest[13] == ':' && rest.substr(20) == text)
        return true;
    }
    ADD_FAILURE() << "no log line " << activity << " \"" << text << "\" in:\n" << log;
    return false;
  }

  static void WriteDatabaseFile(const std::string& path, const std::string& name,
                                const std::vector<std::vector<uint8_t>>& records) {
    pdb::Database db;
    db.name = name;
    db.type = pdb::FourCC("DATA");
    db.creator = kQMNB;
    for (const auto& r : records) db.records.push_back(pdb::Record{r});
    ASSERT_TRUE(pdb::WriteFile(path, db));
  }
  void WriteDatabase(const std::string& name, const std::vector<std::vector<uint8_t>>& records) {
    WriteDatabaseFile(handheld_ + "/" + name + ".pdb", name, records);
  }

  // A listener process on the bus, stopped when it goes out of scope.
  class Listener {
   public:
    Listener(ConduitTest* test, std::vector<std::string> args = {})
        : path_(test->prefix_.path() + "/listener" + std::to_string(++count_) + ".out") {
      pid_ = fork();
      if (pid_ == 0) {
        std::vector<char*> argv;
        std::string prog = NB_BIN_DIR "/conduit_listener";
        argv.push_back(prog.data());
        argv.push_back(path_.data());
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(prog.c_str(), argv.data());
        _exit(127);
      }
      bus::WindowInfo info;
      for (int i = 0; i < 500 && !bus::FindWindow("ConduitListener", "", &info); ++i) usleep(10000);
    }
    ~Listener() { Stop(); }
    std::vector<std::string> Lines() {
      Stop();
      std::vector<std::string> lines;
      std::istringstream in(Slurp(path_));
      for (std::string l; std::getline(in, l);) lines.push_back(l);
      return lines;
    }

   private:
    void Stop() {
      if (pid_ <= 0) return;
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
      pid_ = 0;
    }
    static inline int count_ = 0;
    std::string path_;
    pid_t pid_ = 0;
  };

  TempPrefix prefix_;
  std::string handheld_;
  std::string output_;
  std::unique_ptr<SyncUtil> su_;
};

}  // namespace nb::testing
