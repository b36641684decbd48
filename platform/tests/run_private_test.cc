// run/ and the bus endpoints belong to the user: other users cannot reach them, and a link
// planted there is not followed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "platform/bus.h"
#include "platform/prefix.h"
#include "test_prefix.h"

namespace nb {
namespace {

mode_t Mode(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Sends to `to` as user nobody while the window pumps; true when the send went through.
bool SendAsOtherUser(bus::Window& w, const bus::WindowInfo& to) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
    _exit(bus::SendMessage(to, 0x0400, 1, 2) ? 1 : 0);
  }
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) w.Pump(20);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 2);
  return !WIFEXITED(status) || WEXITSTATUS(status) != 0;
}

TEST(RunFolder, IsPrivateAndRefusesOtherUsers) {
  testing::TempPrefix prefix;
  // A prefix others may enter, as a home folder usually is; and one so long that the
  // endpoints become abstract sockets, which have no file permissions.
  const std::string long_prefix = prefix.path() + "/" + std::string(100, 'p');
  for (const std::string& p : {prefix.path(), long_prefix}) {
    SCOPED_TRACE(p);
    std::filesystem::create_directories(p);
    chmod(prefix.path().c_str(), 0755);
    chmod(p.c_str(), 0755);
    setenv("NB_PREFIX", p.c_str(), 1);
    const std::string run = RunDir();
    EXPECT_EQ(Mode(run), 0700u);
    int received = 0;
    auto w = bus::Window::Create("Private", "window",
                                 [&](uint32_t, uintptr_t, intptr_t) { ++received; });
    ASSERT_TRUE(w);
    ASSERT_NE(bus::RegisterWindowMessage("private"), 0u);
    EXPECT_EQ(Mode(run + "/messages.txt"), 0600u);
    for (const auto& e : std::filesystem::directory_iterator(run + "/windows"))
      EXPECT_EQ(Mode(e.path()) & 077, 0u) << e.path();
    bus::WindowInfo to;
    ASSERT_TRUE(bus::FindWindow("Private", "window", &to));
    if (geteuid() != 0) continue;  // only root can become another user
    EXPECT_FALSE(SendAsOtherUser(*w, to));
    EXPECT_EQ(received, 0);
  }
}

TEST(RunFolder, PlantedLinkIsNotFollowed) {
  testing::TempPrefix prefix;
  const std::string outside = prefix.path() + "/outside.txt";
  std::ofstream(outside) << "keep";
  const std::string run = RunDir();
  std::filesystem::create_symlink(outside, run + "/messages.txt");
  EXPECT_EQ(bus::RegisterWindowMessage("planted"), 0u);
  std::ifstream in(outside);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "keep");
}

// With a private session runtime folder every desktop gets its own folder there, reached
// the same way by every spelling of the desktop's path; otherwise it stays in the desktop.
TEST(RunFolder, SessionRuntimeFolderIsPerDesktop) {
  testing::TempPrefix prefix;
  const std::string& p = prefix.path();
  const struct {
    std::string session;
    mode_t mode;
    bool used;
  } cases[] = {
      {p + "/session", 0700, true},
      {p + "/shared", 0755, false},
      {p + "/" + std::string(50, 'l'), 0700, false},  // endpoints would not fit sun_path
      {"relative", 0700, false},
  };
  for (const std::string d : {"a", "b"}) std::filesystem::create_directories(p + "/" + d);
  std::filesystem::create_directory_symlink(p + "/a", p + "/alias");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.session);
    std::filesystem::create_directories(c.session);
    chmod(c.session.c_str(), c.mode);
    setenv("XDG_RUNTIME_DIR", c.session.c_str(), 1);
    std::map<std::string, std::string> run;
    for (const std::string d : {"a", "b", "alias"}) {
      setenv("NB_PREFIX", (p + "/" + d).c_str(), 1);
      run[d] = RunDir();
      EXPECT_EQ(run[d].rfind(c.session + "/nimbra/", 0) == 0, c.used) << run[d];
      EXPECT_EQ(Mode(run[d]), 0700u);
    }
    EXPECT_NE(run["a"], run["b"]);
    EXPECT_TRUE(std::filesystem::equivalent(run["a"], run["alias"]));
    setenv("NB_PREFIX", (p + "/a").c_str(), 1);
    auto w = bus::Window::Create("Desk", "a", [](uint32_t, uintptr_t, intptr_t) {});
    ASSERT_TRUE(w);
    bus::WindowInfo found;
    EXPECT_TRUE(bus::FindWindow("Desk", "a", &found));
    EXPECT_TRUE(std::filesystem::is_socket(run["a"] + "/windows/" + found.id + ".sock"));
    setenv("NB_PREFIX", (p + "/b").c_str(), 1);
    EXPECT_FALSE(bus::FindWindow("Desk", "a", &found));
    setenv("NB_PREFIX", (p + "/a").c_str(), 1);
  }
}

}  // namespace
}  // namespace nb
