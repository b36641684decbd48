// The resident HotSync Manager on the message bus: "hotsync press" makes it synchronise,
// a close request ends it.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
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

  // Starts "hotsync ARGS" in the background and waits for its window.
  void StartResident(std::vector<const char*> args = {"run"}) {
    const std::string out = prefix_.path() + "/resident.out";
    args.insert(args.begin(), "hotsync");
    args.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      if (!freopen(out.c_str(), "w", stdout) || !freopen(out.c_str(), "a", stderr)) _exit(126);
      execv(NB_BIN_DIR "/hotsync", const_cast<char* const*>(args.data()));
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
  // The readable report, its conduit lines naming the conduit and its creator; no raw codes.
  EXPECT_TRUE(Contains(output_, "HotSync of \"Pat Appraiser\", handheld ")) << output_;
  EXPECT_TRUE(Contains(output_, "conduit done      Nimbra EE App (AAAA) Test\n")) << output_;
  EXPECT_FALSE(Contains(output_, "log 1")) << output_;
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
  StartResident();
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
  StartResident({});  // as the installer starts it: no command
  EXPECT_EQ(HotSync("run"), 1);
  EXPECT_TRUE(Contains(output_, "already running")) << output_;
  kill(pid_, SIGTERM);
  EXPECT_EQ(WaitForExit(), 0);
}

// A peer that does not speak HotSync is sent away and the listener stays.
TEST_F(HotSyncResidentTest, ListenerRefusesAMalformedHandshakeAndKeepsListening) {
  EXPECT_EQ(HotSync("run --listen 127.0.0.1:65536"), 2);
  StartResident({"run", "--listen", "127.0.0.1:0"});
  const std::string out = prefix_.path() + "/resident.out", shown = "NetSync on 127.0.0.1:";
  for (int i = 0; i < 500 && !Contains(Slurp(out), shown); ++i) usleep(10000);
  const std::string text = Slurp(out);
  ASSERT_TRUE(Contains(text, shown)) << text;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(std::atoi(text.c_str() + text.find(shown) + shown.size()));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  for (int round = 1; round <= 2; ++round) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0) << round;
    const char junk[] = "GET / HTTP/1.0\r\n\r\n";
    ASSERT_EQ(write(fd, junk, sizeof junk - 1), ssize_t(sizeof junk - 1));
    char c;
    EXPECT_LE(read(fd, &c, 1), 0) << "the resident hangs up";
    close(fd);
  }
  EXPECT_TRUE(nb::bus::SendMessage(window_, nb::bus::kCloseMessage, 0, 0));
  EXPECT_EQ(WaitForExit(), 0);
  const std::string log = Slurp(out);
  EXPECT_NE(log.find("no HotSync"), log.rfind("no HotSync")) << log;
}

// The icon's menu, opened by its right click as it arrives on the window, one row per
// item chosen; what the choice did shows in the program's output and the UI log.
TEST_F(HotSyncResidentTest, TheTrayMenuTellsTheStateAndDoesWhatItsItemsSay) {
  const std::string ui_log = prefix_.path() + "/ui.log", out = prefix_.path() + "/resident.out";
  setenv("NB_UI_LOG", ui_log.c_str(), 1);
  // A port free a moment ago, so that the menu's item can be named beforehand.
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof at;
  const int probe = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_EQ(bind(probe, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
  getsockname(probe, reinterpret_cast<sockaddr*>(&at), &size);
  close(probe);
  const std::string listen = "127.0.0.1:" + std::to_string(ntohs(at.sin_port));
  const std::string link = "Listen: NetSync on " + listen;
  auto connects = [&at] {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&at), sizeof at) == 0;
    close(fd);
    return ok;
  };
  const struct {
    std::string answer;
    std::vector<std::string> shown;  // in the UI log; in the output once a link was chosen twice
  } rows[] = {
      {"",
       {"\"text\": \"Waiting on NetSync on " + listen + "\\nLast HotSync: completed at ",
        "[x] " + link + "\\n-\\nView Log\\nConduits >\\n  Nimbra EE App (creator AAAA)\\n-\\nExit",
        "tip HotSync Manager - synchronising the handheld in " + handheld_, "icon busy",
        "icon idle"}},
      {"View Log", {"{\"caption\": \"HotSync Log\", \"text\": \"", "Pat Appraiser"}},
      {link, {"stops listening on NetSync on " + listen + "\nHotSync Manager listens on"}},
      {"Exit", {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.answer);
    setenv("NB_UI_ANSWERS", ("HotSync Manager=" + row.answer).c_str(), 1);
    unlink(ui_log.c_str());
    StartResident({"run", "--listen", listen.c_str()});
    ASSERT_EQ(Press(), 0) << output_;
    EXPECT_TRUE(nb::bus::SendMessage(window_, 512, 0, 517));
    if (row.answer == "Exit") {
      EXPECT_EQ(WaitForExit(), 0);
      continue;
    }
    if (row.answer == link) {
      EXPECT_FALSE(connects());
      EXPECT_TRUE(nb::bus::SendMessage(window_, 512, 0, 517));
      EXPECT_TRUE(connects());
    }
    const std::string seen = Slurp(row.answer == link ? out : ui_log);
    for (const std::string& text : row.shown) EXPECT_TRUE(Contains(seen, text)) << text << seen;
    EXPECT_TRUE(nb::bus::SendMessage(window_, nb::bus::kCloseMessage, 0, 0));
    EXPECT_EQ(WaitForExit(), 0);
  }
  unsetenv("NB_UI_ANSWERS");
  unsetenv("NB_UI_LOG");
}

}  // namespace
}  // namespace hotsync::testing
