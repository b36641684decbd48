#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "noting_os.h"
#include "syncutil_loader.h"
#include "test_prefix.h"

namespace {

using nb::testing::SyncUtil;
using nb::testing::TempPrefix;

constexpr uint32_t kQMNB = 0x514D4E42;

// Runs the client program and returns its standard output.
std::string RunClient(const std::vector<std::string>& args, int* status = nullptr) {
  std::string cmd = NB_BIN_DIR "/syncutil_client";
  for (const std::string& a : args) cmd += " '" + a + "'";
  FILE* p = popen(cmd.c_str(), "r");
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int st = pclose(p);
  if (status) *status = st;
  return out;
}

pid_t SpawnClient(const std::vector<std::string>& args, const std::string& out_file) {
  pid_t pid = fork();
  if (pid == 0) {
    int fd = open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 1);
    std::vector<char*> argv;
    std::string prog = NB_BIN_DIR "/syncutil_client";
    argv.push_back(prog.data());
    std::vector<std::string> copy = args;
    for (std::string& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(prog.c_str(), argv.data());
    _exit(127);
  }
  return pid;
}

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

int32_t BlockInt(const std::string& prefix, size_t offset) {
  std::string block = ReadFile(prefix + "/run/syncutil.shm");
  int32_t v = 0;
  std::memcpy(&v, block.data() + offset, 4);
  return v;
}

class QueueTest : public ::testing::Test {
 protected:
  TempPrefix prefix_;
  std::string ui_log_ = prefix_.path() + "/ui.log";
  bool env_ = setenv("NB_UI_LOG", ui_log_.c_str(), 1) == 0;
  SyncUtil su_;
  // Started as a program's first call starts it: what it shows is not the queue's.
  bool started_ = (NB_FN(su_, NB_GetWaitFlag)(), true);
  decltype(&NB_AddToCommandQueueEx) add_ex_ = NB_FN(su_, NB_AddToCommandQueueEx);
  decltype(&NB_AddToCommandQueue) add_ = NB_FN(su_, NB_AddToCommandQueue);
  decltype(&NB_GetNextCommandEx) next_ex_ = NB_FN(su_, NB_GetNextCommandEx);
  decltype(&NB_GetNextCommand) next_ = NB_FN(su_, NB_GetNextCommand);

  std::string UiLog() { return ReadFile(ui_log_); }
};

TEST_F(QueueTest, FreshBlockIsEmptyAndSized) {
  struct stat st;
  ASSERT_EQ(stat((prefix_.path() + "/run/syncutil.shm").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 282624);
  EXPECT_EQ(BlockInt(prefix_.path(), 544), -1);
  uint32_t type = 77;
  char name[8] = "keep";
  EXPECT_EQ(next_(&type, name, sizeof name), 0);
  EXPECT_EQ(type, 77u);
  EXPECT_STREQ(name, "keep");
}

// The queue outlives a power cut: each command queued or taken is synced before the call ends.
TEST_F(QueueTest, QueuedAndTakenCommandsReachTheDisk) {
  nb::testing::NotingOs os;
  nb::ScopedOs scoped(os);
  uint32_t type;
  EXPECT_EQ(add_(kCmdNoOperation, "x"), 1);
  EXPECT_EQ(os.log, std::vector<std::string>{"msync"});
  EXPECT_EQ(next_(&type, nullptr, 0), 1);
  EXPECT_EQ(os.log, std::vector<std::string>(2, "msync"));
}

TEST_F(QueueTest, RingFillsAt512AndFreesOneSlotPerDequeue) {
  unlink(ui_log_.c_str());
  for (int i = 0; i < 512; ++i) ASSERT_EQ(add_(kCmdNoOperation, "x"), 1) << i;
  EXPECT_EQ(add_(kCmdNoOperation, "x"), 0);
  EXPECT_EQ(UiLog(), "");  // a full queue is not reported
  uint32_t type;
  ASSERT_EQ(next_(&type, nullptr, 0), 1);
  EXPECT_EQ(add_(kCmdNoOperation, "y"), 1);
  EXPECT_EQ(add_(kCmdNoOperation, "z"), 0);
}

TEST_F(QueueTest, DrainingLeavesWriteIndexAndNextEnqueueRestartsAtZero) {
  for (const char* n : {"a", "b", "c"}) ASSERT_EQ(add_(kCmdNoOperation, n), 1);
  uint32_t type;
  char name[260];
  for (const char* n : {"a", "b", "c"}) {
    ASSERT_EQ(next_(&type, name, sizeof name), 1);
    EXPECT_STREQ(name, n);
  }
  EXPECT_EQ(BlockInt(prefix_.path(), 544), -1);
  EXPECT_EQ(BlockInt(prefix_.path(), 548), 3);
  int32_t read = 9, write = 9;
  ASSERT_EQ(NB_FN(su_, NB_GetQueuePositions)(&read, &write), 1);
  EXPECT_EQ(read, -1);
  EXPECT_EQ(write, 3);
  ASSERT_EQ(add_(kCmdNoOperation, "d"), 1);
  EXPECT_EQ(BlockInt(prefix_.path(), 544), 0);
  EXPECT_EQ(BlockInt(prefix_.path(), 548), 1);
  std::string block = ReadFile(prefix_.path() + "/run/syncutil.shm");
  EXPECT_STREQ(block.data() + 552 + 24, "d");
}

TEST_F(QueueTest, ValidationCodesAndMessages) {
  struct Case {
    uint32_t type;
    const char* file;
    uint32_t creator;
    int result;
    const char* messages;  // codes shown, in order
  } cases[] = {
      {0, "f", kQMNB, 0, "1010"},      {10, "f", kQMNB, 0, "1010"},    {7, "f", 0, 0, "1040"},
      {8, nullptr, 0, 0, "1040 1020"}, {4, nullptr, kQMNB, 0, "1020"}, {6, nullptr, kQMNB, 1, ""},
      {8, "t.dbf", kQMNB, 1, ""},      {9, "f.prc", 0, 1, ""},
  };
  for (const Case& c : cases) {
    unlink(ui_log_.c_str());
    EXPECT_EQ(add_ex_(c.type, c.file, c.creator, "pdbdevice.dll", 0, 0, 0), c.result)
        << "type " << c.type;
    std::string log = UiLog(), codes;
    for (size_t at = 0; (at = log.find("Nimbra DLL Error ", at)) != std::string::npos; at += 17) {
      codes += (codes.empty() ? "" : " ") + log.substr(at + 17, 4);
    }
    EXPECT_EQ(codes, c.messages) << "type " << c.type;
  }
  uint32_t type;
  char name[8] = "x";
  ASSERT_EQ(next_(&type, name, sizeof name), 1);
  EXPECT_EQ(type, 6u);
  EXPECT_STREQ(name, "");
}

TEST_F(QueueTest, RecordFieldsAndPluginNameByType) {
  std::string longname(300, 'n');
  ASSERT_EQ(
      add_ex_(kCmdDownloadTableForCreator, longname.c_str(), 0x76584131, "pdbdevice.dll", 1, 2, 3),
      1);
  ASSERT_EQ(add_ex_(kCmdDownloadApp, "app.pda", kQMNB, "ignored.dll", 0, 0, 0), 1);
  uint32_t type, creator, p1, p2, p3;
  const char* plugin = nullptr;
  char name[300];
  ASSERT_EQ(next_ex_(&type, name, sizeof name, &creator, &plugin, &p1, &p2, &p3), 1);
  EXPECT_EQ(std::string(name), std::string(259, 'n'));
  EXPECT_EQ(creator, 0x76584131u);
  EXPECT_STREQ(plugin, "pdbdevice.dll");
  EXPECT_EQ(p1 + p2 * 10 + p3 * 100, 321u);
  ASSERT_EQ(next_ex_(&type, name, sizeof name, nullptr, &plugin, nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(type, 1u);
  std::string block = ReadFile(prefix_.path() + "/run/syncutil.shm");
  EXPECT_EQ(block[552 + 544 + 284], 0) << "plug-in name written for type 1";
  // The bounded copy adds no terminator when the name fills the buffer.
  ASSERT_EQ(add_(kCmdNoOperation, "abcdef"), 1);
  char small[4] = {'z', 'z', 'z', 'z'};
  ASSERT_EQ(next_(&type, small, 4), 1);
  EXPECT_EQ(std::string(small, 4), "abcd");
}

TEST_F(QueueTest, CopyOutRuleOnUserName) {
  NB_FN(su_, NB_SetUserName)("Appraiser Anne");
  char dest[8];
  std::memset(dest, 'x', sizeof dest);
  EXPECT_EQ(NB_FN(su_, NB_GetUserName)(dest, sizeof dest), 14u);
  EXPECT_EQ(std::string(dest, 8), std::string("Apprais\0", 8));
  EXPECT_EQ(NB_FN(su_, NB_GetUserName)(nullptr, 0), 14u);
  std::string longname(300, 'u');
  NB_FN(su_, NB_SetCmdFilename)(longname.c_str());
  char big[400];
  EXPECT_EQ(NB_FN(su_, NB_GetCmdFilename)(big, sizeof big), 259u);
}

TEST_F(QueueTest, WaitFlagCountsAtomically) {
  NB_FN(su_, NB_SetWaitFlag)(0);
  EXPECT_EQ(NB_FN(su_, NB_IncWaitFlag)(), 1);
  EXPECT_EQ(NB_FN(su_, NB_IncWaitFlag)(), 2);
  EXPECT_EQ(NB_FN(su_, NB_DecWaitFlag)(), 1);
  EXPECT_EQ(BlockInt(prefix_.path(), 532), 1);
}

TEST_F(QueueTest, RegisteredMessageIsSharedAcrossProcesses) {
  uint16_t id = NB_FN(su_, NB_GetRegisteredMsg)();
  EXPECT_GE(id, 0xC000);
  EXPECT_EQ(BlockInt(prefix_.path(), 0) & 0xFFFF, id);
}

TEST_F(QueueTest, QueuedCommandsSurviveTheQueueingProcess) {
  int status;
  RunClient({"enqueue", "3", "job"}, &status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(RunClient({"drain"}), "job-0\njob-1\njob-2\n");
}

class FlushTest : public QueueTest {
 protected:
  // Starts the wait dialog in another process and waits until its window is listed.
  pid_t StartFlush(uint32_t creator) {
    pid_t pid = SpawnClient({"flush", std::to_string(creator)}, prefix_.path() + "/flush.out");
    for (int i = 0; i < 500; ++i) {
      DIR* d = opendir((prefix_.path() + "/run/windows").c_str());
      int n = 0;
      while (d && readdir(d)) ++n;
      if (d) closedir(d);
      if (n >= 2 + 4) break;  // dialog and target, socket and info file each
      usleep(10000);
    }
    return pid;
  }
  std::string Result(pid_t pid) {
    int st;
    waitpid(pid, &st, 0);
    return ReadFile(prefix_.path() + "/flush.out");
  }
  void Notify(uint32_t code, int param) {
    RunClient({"notify", std::to_string(code), std::to_string(param)});
  }
};

TEST_F(FlushTest, AllCommandsSucceededGivesZero) {
  pid_t pid = StartFlush(0);
  Notify(kSyncStarted, 0);
  Notify(kCommandDone, 1);
  Notify(kSyncFinished, 1);
  EXPECT_EQ(Result(pid), "0\n");
}

TEST_F(FlushTest, OneFailedCommandGivesOne) {
  pid_t pid = StartFlush(0);
  Notify(kCommandDone, 1);
  Notify(kCommandDone, 0);
  Notify(kCommandDone, 1);
  Notify(kSyncFinished, 0);
  EXPECT_EQ(Result(pid), "1\n");
}

TEST_F(FlushTest, CreatorFilterIgnoresOtherSyncsAndAbortEmptiesQueue) {
  NB_FN(su_, NB_SetCreatorId)(kQMNB);
  ASSERT_EQ(add_(kCmdNoOperation, "pending"), 1);
  pid_t pid = StartFlush(0x41424344);  // 'ABCD'
  Notify(kSyncFinished, 1);
  usleep(300000);
  EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), 0) << "dialog closed for another creator";
  kill(pid, SIGINT);  // the headless Abort
  EXPECT_EQ(Result(pid), "2\n");
  uint32_t type;
  EXPECT_EQ(next_(&type, nullptr, 0), 0);
}

}  // namespace
