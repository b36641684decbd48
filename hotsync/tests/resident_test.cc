// The resident HotSync Manager on the message bus: "hotsync press" makes it synchronise,
// a close request ends it.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include "hotsync_fixture.h"
#include "platform/bus.h"

namespace hotsync::testing {
namespace {

class HotSyncResidentTest : public HotSyncTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(HotSync("init"), 0) << output_;
    ASSERT_EQ(HotSync("conduits add AAAA " NB_BIN_DIR "/hs_test_conduit.so"), 0) << output_;
    handheld_ = MakeHandheld(prefix_.path() + "/hh", "Pat Appraiser", "4242");
    PutDatabase(handheld_ + "/A.pdb", "A", 0x41414141);
    conduit_log_ = prefix_.path() + "/conduits.txt";
    setenv("HS_TEST_CONDUIT_LOG", conduit_log_.c_str(), 1);
    unsetenv("HS_TEST_CONDUIT_RESULT");
  }
  void TearDown() override {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  // Starts "hotsync ARG" (null: no argument) in the background and waits for its window.
  void StartResident(const char* arg = "run") {
    const std::string out = prefix_.path() + "/resident.out";
    pid_ = fork();
    if (pid_ == 0) {
      if (!freopen(out.c_str(), "w", stdout) || !freopen(out.c_str(), "a", stderr)) _exit(126);
      execl(NB_BIN_DIR "/hotsync", "hotsync", arg, static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 500 && !nb::bus::FindWindow("KittyHawk", "HotSync Manager", &window_); ++i)
      usleep(10000);
    ASSERT_EQ(window_.pid, pid_) << Slurp(out);
  }
  // The resident's exit status once it ended by itself, -1 if it did not.
  int WaitForExit() {
    for (int i = 0; i < 1000; ++i) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      usleep(10000);
    }
    return -1;
  }
  int Press() { return HotSync("press --handheld '" + handheld_ + "'"); }

  std::string handheld_;
  std::string conduit_log_;
  pid_t pid_ = 0;
  nb::bus::WindowInfo window_;
};

TEST_F(HotSyncResidentTest, PressRunsOneSynchronisationInTheResidentProgram) {
  StartResident();
  ASSERT_EQ(Press(), 0) << output_;
  EXPECT_TRUE(Contains(output_, "conduit \"Nimbra EE App\" for 'AAAA'")) << output_;
  EXPECT_TRUE(Contains(output_, "synchronisation complete")) << output_;
  EXPECT_EQ(Slurp(conduit_log_), "AAAA Pat Appraiser 4242 Pat Appraiser\n");
  // It stays for the next press.
  ASSERT_EQ(Press(), 0) << output_;
  EXPECT_EQ(Slurp(conduit_log_),
            "AAAA Pat Appraiser 4242 Pat Appraiser\n"
            "AAAA Pat Appraiser 4242 Pat Appraiser\n");
  EXPECT_TRUE(nb::bus::SendMessage(window_, nb::bus::kCloseMessage, 0, 0));
  EXPECT_EQ(WaitForExit(), 0);
  EXPECT_FALSE(nb::bus::FindWindow("KittyHawk", "", nullptr));
}

TEST_F(HotSyncResidentTest, PressPassesTheResultAndErrorsOn) {
  setenv("HS_TEST_CONDUIT_RESULT", "4107", 1);  // the resident's conduits fail
  StartResident("run");
  EXPECT_EQ(Press(), 1) << output_;
  EXPECT_TRUE(Contains(output_, "failed (4107)")) << output_;
  // While another synchronisation of the desktop runs, a press is refused.
  const int held = open((prefix_.path() + "/run/hotsync/synchronisation.lock").c_str(),
                        O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  EXPECT_EQ(Press(), 1);
  EXPECT_TRUE(Contains(output_, "busy: the synchronisation already running")) << output_;
  close(held);
  EXPECT_EQ(HotSync("press --handheld '" + prefix_.path() + "/none'"), 1);
  EXPECT_TRUE(Contains(output_, "no handheld folder")) << output_;
}

TEST_F(HotSyncResidentTest, OneResidentAtATimeStartedWithoutArguments) {
  EXPECT_EQ(Press(), 1);
  EXPECT_TRUE(Contains(output_, "not running")) << output_;
  StartResident(nullptr);  // as the installer starts it: no command
  EXPECT_EQ(HotSync("run"), 1);
  EXPECT_TRUE(Contains(output_, "already running")) << output_;
  kill(pid_, SIGTERM);
  EXPECT_EQ(WaitForExit(), 0);
}

}  // namespace
}  // namespace hotsync::testing
