#include "platform/os.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/prefix.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "test_files.h"
#include "test_prefix.h"

namespace nb {
namespace {

using testing::Slurp;

// What a fault leaves in the folder: every name in it, sorted.
std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> out;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

struct Step {
  OsCall call;
  int nth;
};
// Every call of a durable write of a new file, a folder sync included.
constexpr Step kWriteSteps[] = {{OsCall::kOpen, 1},  {OsCall::kChmod, 1}, {OsCall::kWrite, 1},
                                {OsCall::kFsync, 1}, {OsCall::kClose, 1}, {OsCall::kRename, 1}};

TEST(DurableWrite, EveryFailingStepLeavesTheOldFileAndNoTemporary) {
  for (int err : {ENOSPC, EIO, EACCES}) {
    for (const Step& step : kWriteSteps) {
      testing::TempPrefix prefix;
      const std::string path = prefix.path() + "/a.ini";
      ASSERT_TRUE(WriteFileDurably(path, "old\r\n"));
      const auto before = Names(prefix.path());
      FaultyOs faulty(step.call, step.nth, err);
      std::string error;
      {
        ScopedOs scoped(faulty);
        EXPECT_FALSE(WriteFileDurably(path, std::string(100000, 'n'), &error));
      }
      SCOPED_TRACE(int(step.call));
      EXPECT_TRUE(faulty.fired());
      EXPECT_EQ(Slurp(path), "old\r\n");
      EXPECT_EQ(Names(prefix.path()), before);
      EXPECT_EQ(error, "cannot write " + path + ": " + strerror(err));
    }
  }
}

TEST(DurableWrite, KeepsTheModeAndDefersTheFolderSyncWhenAsked) {
  testing::TempPrefix prefix;
  const std::string path = prefix.path() + "/a.ini";
  ASSERT_TRUE(WriteFileDurably(path, "1"));
  std::filesystem::permissions(path, std::filesystem::perms(0600));
  // A deferred write makes no folder sync: failing every first fsync fails only the file's.
  FaultyOs second_fsync(OsCall::kFsync, 2, EIO);
  {
    ScopedOs scoped(second_fsync);
    EXPECT_TRUE(WriteFileDurably(path, "2", nullptr, FolderSync::kDeferred));
    EXPECT_FALSE(second_fsync.fired());
    EXPECT_FALSE(SyncFolder(prefix.path()));
  }
  EXPECT_EQ(Slurp(path), "2");
  EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0600));
}

TEST(DurableWrite, ACrashAtAnyStepLeavesOldOrNewWholeContent) {
  for (OsCall call : {OsCall::kWrite, OsCall::kFsync, OsCall::kRename, OsCall::kOpen}) {
    testing::TempPrefix prefix;
    const std::string path = prefix.path() + "/a.ini";
    ASSERT_TRUE(WriteFileDurably(path, "old"));
    pid_t pid = fork();
    if (pid == 0) {
      // The folder sync is the second open.
      FaultyOs crash(call, call == OsCall::kOpen ? 2 : 1, 0, true);
      ScopedOs scoped(crash);
      WriteFileDurably(path, std::string(50000, 'n'));
      _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << int(call);
    const std::string now = Slurp(path);
    EXPECT_TRUE(now == "old" || now == std::string(50000, 'n')) << int(call);
    // What the killed writer left is found and removed; a running writer's is not.
    const std::string live = path + ".~" + std::to_string(getpid()) + "-7";
    std::ofstream(live) << "mine";
    RemoveAbandonedTemporaries(prefix.path());
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(prefix.path()))
      left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left,
              (std::vector<std::string>{"a.ini", "a.ini.~" + std::to_string(getpid()) + "-7"}))
        << int(call);
  }
}

TEST(DurableWrite, FaultSettingsAreReadStrictly) {
  OsCall call;
  int nth, err;
  bool crash;
  std::string part;
  ASSERT_TRUE(FaultyOs::Parse("rename:3:ENOSPC", &call, &nth, &err, &crash, &part));
  EXPECT_EQ(call, OsCall::kRename);
  EXPECT_EQ(nth, 3);
  EXPECT_EQ(err, ENOSPC);
  EXPECT_FALSE(crash);
  EXPECT_EQ(part, "");
  ASSERT_TRUE(FaultyOs::Parse("write:1:crash:C:/x:y.dbf", &call, &nth, &err, &crash, &part));
  EXPECT_TRUE(crash);
  EXPECT_EQ(part, "C:/x:y.dbf");
  for (const char* bad :
       {"", "rename", "rename:3", "rename:0:EIO", "rename:x:EIO", "rename:1:ENOSUCH", "chown:1:EIO",
        "rename:-1:EIO", "rename:1:", "write:1:EIO:"})
    EXPECT_FALSE(FaultyOs::Parse(bad, &call, &nth, &err, &crash, &part)) << bad;
}

// Each call of the seam fails as asked, on the named file only, and passes through after.
TEST(Seam, EveryCallFailsWithEveryErrnoOnItsFileOnly) {
  testing::TempPrefix prefix;
  const std::string dir = prefix.path() + "/", file = dir + "f.dat", other = dir + "o.dat";
  struct Case {
    OsCall call;
    const char* setting;                            // NB_FAULT's name of the call
    std::function<bool(const std::string&)> fails;  // on a file
  };
  struct stat st;
  auto on_fd = [](const std::string& path, auto call) {
    const int fd = TheOs().Open(path.c_str(), O_RDWR, 0);
    const bool failed = call(fd);
    const int err = errno;
    TheOs().Close(fd);
    errno = err;
    return failed;
  };
  const Case cases[] = {
      {OsCall::kStat, "stat", [&](auto& p) { return TheOs().Lstat(p.c_str(), &st) != 0; }},
      {OsCall::kStat, "stat",
       [&](auto& p) { return on_fd(p, [&](int fd) { return TheOs().Fstat(fd, &st) != 0; }); }},
      {OsCall::kStat, "stat", [&](auto& p) { return TheOs().Access(p.c_str(), R_OK) != 0; }},
      {OsCall::kStat, "stat",
       [&](auto& p) {
         std::string target;
         return TheOs().Readlink((p + "-link").c_str(), &target) != 0 || target != p;
       }},
      {OsCall::kMkdir, "mkdir", [&](auto& p) { return !MakeDirs(p + "-dir/sub"); }},
      {OsCall::kChmod, "chmod", [&](auto& p) { return TheOs().Chmod(p.c_str(), 0755) != 0; }},
      {OsCall::kChmod, "chmod",
       [&](auto& p) { return on_fd(p, [&](int fd) { return TheOs().Fchmod(fd, 0755) != 0; }); }},
      {OsCall::kTruncate, "truncate",
       [&](auto& p) { return on_fd(p, [&](int fd) { return TheOs().Ftruncate(fd, 10) != 0; }); }},
      {OsCall::kMmap, "mmap",
       [&](auto& p) {
         return on_fd(p, [&](int fd) {
           void* m = TheOs().Mmap(4, PROT_READ, MAP_SHARED, fd, 0);
           if (m == MAP_FAILED) return true;
           TheOs().Munmap(m, 4);
           return false;
         });
       }},
      {OsCall::kSymlink, "symlink",
       [&](auto& p) {
         TheOs().Unlink((p + "-new").c_str());
         return TheOs().Symlink(p.c_str(), (p + "-new").c_str()) != 0;
       }},
      {OsCall::kSpawn, "spawn",
       [&](auto& p) { return TheOs().StartDetached(p.c_str(), {"f"}) != 0; }},
  };
  for (const std::string& path : {file, other}) {
    ASSERT_TRUE(WriteFileDurably(path, "#!/bin/sh\n", nullptr, FolderSync::kNow, 0755));
    ASSERT_EQ(TheOs().Symlink(path.c_str(), (path + "-link").c_str()), 0);
  }
  for (const Case& c : cases) {
    OsCall parsed;
    int nth, err;
    bool crash;
    std::string part;
    ASSERT_TRUE(FaultyOs::Parse(std::string(c.setting) + ":1:EIO:f.dat", &parsed, &nth, &err,
                                &crash, &part));
    EXPECT_EQ(parsed, c.call) << c.setting;
    for (const auto& [name, e] : {std::pair{"ENOSPC", ENOSPC},
                                  {"EIO", EIO},
                                  {"EACCES", EACCES},
                                  {"EDQUOT", EDQUOT},
                                  {"EROFS", EROFS},
                                  {"EPERM", EPERM}}) {
      SCOPED_TRACE(std::string(c.setting) + " " + name);
      FaultyOs faulty(c.call, 1, e, false, "f.dat");
      ScopedOs scoped(faulty);
      EXPECT_FALSE(c.fails(other));
      EXPECT_TRUE(c.fails(file));
      EXPECT_EQ(errno, e);
      EXPECT_FALSE(c.fails(file));
    }
  }
}

// Only calls on the named file count, so a test can aim at one writer among many.
TEST(DurableWrite, APathPartAimsTheFaultAtOneFile) {
  testing::TempPrefix prefix;
  const std::string a = prefix.path() + "/a.dbf", b = prefix.path() + "/b.dbf";
  for (OsCall call : {OsCall::kWrite, OsCall::kFsync, OsCall::kRename, OsCall::kOpen}) {
    ASSERT_TRUE(WriteFileDurably(b, "old"));
    FaultyOs faulty(call, 2, ENOSPC, false, "b.dbf");
    ScopedOs scoped(faulty);
    EXPECT_TRUE(WriteFileDurably(a, "1")) << int(call);
    EXPECT_TRUE(WriteFileDurably(b, "2")) << int(call);
    EXPECT_TRUE(WriteFileDurably(a, "3")) << int(call);
    EXPECT_FALSE(WriteFileDurably(b, "4")) << int(call);
    EXPECT_TRUE(faulty.fired());
    EXPECT_EQ(Slurp(a), "3");
    EXPECT_EQ(Slurp(b), "2");
  }
}

TEST(ProfileSave, FullDiskOrFailingRenameLeavesTheProfileAndNamesIt) {
  for (Step step : {Step{OsCall::kWrite, 1}, Step{OsCall::kRename, 1}}) {
    for (bool deferred : {false, true}) {
      testing::TempPrefix prefix;
      const std::string path = prefix.path() + "/app.ini";
      Profile p;
      p.Set("Section", "Key", "old");
      ASSERT_TRUE(p.Save(path));
      const std::string before = Slurp(path);
      p.Set("Section", "Key", "new");
      FaultyOs faulty(step.call, step.nth, ENOSPC);
      ScopedOs scoped(faulty);
      std::string error;
      EXPECT_FALSE(deferred ? p.SaveWithoutFolderSync(path, &error) : p.Save(path, &error));
      EXPECT_EQ(Slurp(path), before);
      EXPECT_NE(error.find(path), std::string::npos) << error;
    }
  }
}

// A registry change that cannot be saved leaves the hive file and says why, naming it.
TEST(RegistrySave, FullDiskOrFailingRenameLeavesTheHiveAndNamesIt) {
  for (Step step : {Step{OsCall::kWrite, 1}, Step{OsCall::kRename, 1}}) {
    testing::TempPrefix prefix;
    ASSERT_TRUE(reg::SetString(reg::Hive::kCurrentUser, "Software\\A", "v", "old"));
    const std::string hive = prefix.path() + "/user.reg";
    const std::string before = Slurp(hive);
    FaultyOs faulty(step.call, step.nth, ENOSPC);
    {
      ScopedOs scoped(faulty);
      EXPECT_FALSE(reg::SetString(reg::Hive::kCurrentUser, "Software\\A", "v", "new"));
    }
    EXPECT_EQ(Slurp(hive), before);
    EXPECT_EQ(reg::LastError(), "cannot save " + hive + ": " + strerror(ENOSPC));
    EXPECT_EQ(reg::GetString(reg::Hive::kCurrentUser, "Software\\A", "v"), "old");
  }
}

// The fault reaches another program through the environment.
TEST(RegistrySave, AFaultSetInTheEnvironmentReachesAnotherProgram) {
  testing::TempPrefix prefix;
  ASSERT_TRUE(reg::SetString(reg::Hive::kCurrentUser, "Software\\A", "v", "old"));
  const std::string hive = prefix.path() + "/user.reg";
  const std::string before = Slurp(hive);
  std::string out;
  int rc = testing::Shell(
      "NB_FAULT=rename:1:ENOSPC " NB_BIN_DIR "/nbreg set 'HKCU\\Software\\A' v new", &out);
  EXPECT_NE(rc, 0);
  EXPECT_NE(out.find("cannot save " + hive), std::string::npos) << out;
  EXPECT_EQ(Slurp(hive), before);
}

}  // namespace
}  // namespace nb
