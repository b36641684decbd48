#include "platform/bus.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "test_prefix.h"

namespace nb::bus {
namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kPing = 0x0400;
constexpr uint32_t kPong = 0x0401;

bool Exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void Append(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::app) << text;
}

long MsSince(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

// A child process owning one window; it pumps until a close message or 15 s pass.
class ChildWindow {
 public:
  ChildWindow(const std::string& cls, const std::string& title, Handler on_message) {
    int p[2];
    if (pipe(p) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(p[0]);
      bool done = false;
      auto w = Window::Create(cls, title, [&](uint32_t msg, uintptr_t wp, intptr_t lp) {
        if (msg == kCloseMessage) done = true;
        if (on_message) on_message(msg, wp, lp);
      });
      char ok = w ? 1 : 0;
      if (write(p[1], &ok, 1) != 1 || !w) _exit(1);
      auto start = Clock::now();
      while (!done && MsSince(start) < 15000) w->Pump(100);
      w.reset();
      _exit(0);
    }
    close(p[1]);
    pollfd pf{p[0], POLLIN, 0};
    char ok = 0;
    ready_ = poll(&pf, 1, 5000) == 1 && read(p[0], &ok, 1) == 1 && ok == 1;
    close(p[0]);
  }
  ~ChildWindow() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    Reap();
  }
  bool ready() const { return ready_; }
  pid_t pid() const { return pid_; }
  void Reap() {
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  WindowInfo Info() const {
    for (const WindowInfo& w : Windows())
      if (w.pid == pid_) return w;
    return {};
  }

 private:
  pid_t pid_ = -1;
  bool ready_ = false;
};

class BusTest : public ::testing::Test {
 protected:
  // A deadlock would otherwise hang the whole run.
  void SetUp() override { alarm(60); }
  void TearDown() override { alarm(0); }
  std::string File(const std::string& name) const { return prefix_.path() + "/" + name; }
  nb::testing::TempPrefix prefix_;
};

TEST_F(BusTest, RegisteredMessagesAreStableAcrossProcessesAndInRange) {
  uint32_t a = RegisterWindowMessage("nb.Alpha");
  uint32_t b = RegisterWindowMessage("nb.Beta");
  EXPECT_GE(a, 0xC000u);
  EXPECT_LE(b, 0xFFFFu);
  EXPECT_NE(a, b);
  EXPECT_EQ(a, RegisterWindowMessage("NB.ALPHA"));
  EXPECT_EQ(b, RegisterWindowMessage("nb.beta"));
  EXPECT_EQ(0u, RegisterWindowMessage(""));

  // The child sees the parent's ids and adds one of its own that the parent then sees.
  int p[2];
  ASSERT_EQ(0, pipe(p));
  pid_t pid = fork();
  if (pid == 0) {
    uint32_t ids[3] = {RegisterWindowMessage("nb.beta"), RegisterWindowMessage("nb.Alpha"),
                       RegisterWindowMessage("nb.FromChild")};
    _exit(write(p[1], ids, sizeof(ids)) == sizeof(ids) ? 0 : 1);
  }
  close(p[1]);
  uint32_t ids[3] = {};
  ASSERT_EQ(static_cast<ssize_t>(sizeof(ids)), read(p[0], ids, sizeof(ids)));
  close(p[0]);
  waitpid(pid, nullptr, 0);
  EXPECT_EQ(b, ids[0]);
  EXPECT_EQ(a, ids[1]);
  EXPECT_EQ(ids[2], RegisterWindowMessage("NB.FROMCHILD"));
  EXPECT_NE(ids[2], a);
  EXPECT_NE(ids[2], b);
}

TEST_F(BusTest, RegisterFailsWhenTheNamesCannotBeWritten) {
  std::string file = File("not-a-folder");
  Append(file, "x");
  setenv("NB_PREFIX", file.c_str(), 1);
  EXPECT_EQ(0u, RegisterWindowMessage("nb.Anything"));
  setenv("NB_PREFIX", prefix_.path().c_str(), 1);
}

TEST_F(BusTest, SendReturnsOnlyAfterTheOwnersHandlerReturned) {
  std::string marker = File("handled");
  ChildWindow child("Worker", "w1", [&](uint32_t msg, uintptr_t wp, intptr_t lp) {
    if (msg != kPing) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    Append(marker, std::to_string(wp) + " " + std::to_string(lp));
  });
  ASSERT_TRUE(child.ready());
  WindowInfo info;
  ASSERT_TRUE(FindWindow("Worker", "w1", &info));
  EXPECT_EQ(child.pid(), info.pid);

  auto start = Clock::now();
  EXPECT_TRUE(SendMessage(info, kPing, 7, -3));
  EXPECT_GE(MsSince(start), 190);
  EXPECT_TRUE(Exists(marker));
  EXPECT_EQ("7 -3", Slurp(marker));
}

TEST_F(BusTest, PostDoesNotWaitAndKeepsOrderWithLaterSends) {
  std::string trace = File("trace");
  ChildWindow child("Worker", "w1", [&](uint32_t msg, uintptr_t, intptr_t) {
    if (msg == kPing) {
      std::this_thread::sleep_for(std::chrono::milliseconds(400));
      Append(trace, "post;");
    }
    if (msg == kPong) Append(trace, "send;");
  });
  ASSERT_TRUE(child.ready());
  WindowInfo info = child.Info();

  auto start = Clock::now();
  EXPECT_TRUE(PostMessage(info, kPing, 0, 0));
  EXPECT_LT(MsSince(start), 200);
  EXPECT_FALSE(Exists(trace));
  EXPECT_TRUE(SendMessage(info, kPong, 0, 0));
  EXPECT_EQ("post;send;", Slurp(trace));
}

TEST_F(BusTest, PostToOwnWindowWaitsForPump) {
  int got = 0;
  auto w = Window::Create("Local", "l", [&](uint32_t msg, uintptr_t wp, intptr_t) {
    if (msg == kPing) got += static_cast<int>(wp);
  });
  ASSERT_TRUE(w);
  EXPECT_TRUE(PostMessage(w->info(), kPing, 2, 0));
  EXPECT_TRUE(PostMessage(w->info(), kPing, 3, 0));
  EXPECT_EQ(0, got);
  EXPECT_EQ(2, w->Pump(1000));
  EXPECT_EQ(5, got);
  EXPECT_EQ(0, w->Pump(0));
}

TEST_F(BusTest, BroadcastReachesEveryProcessAndRunsLocalHandlersInPlace) {
  auto handler = [&](const std::string& name) {
    return [this, name](uint32_t msg, uintptr_t, intptr_t) {
      if (msg == kPing) Append(File(name), "x");
    };
  };
  ChildWindow c1("Worker", "one", handler("one"));
  ChildWindow c2("Worker", "two", handler("two"));
  ASSERT_TRUE(c1.ready());
  ASSERT_TRUE(c2.ready());
  int local = 0;
  auto w = Window::Create("Local", "here", [&](uint32_t msg, uintptr_t, intptr_t) {
    if (msg == kPing) ++local;
  });
  ASSERT_TRUE(w);
  EXPECT_EQ(3u, Windows().size());

  Broadcast(kPing, 0, 0);
  EXPECT_EQ("x", Slurp(File("one")));
  EXPECT_EQ("x", Slurp(File("two")));
  EXPECT_EQ(1, local);
}

TEST_F(BusTest, KilledOwnersAreRemovedAndSkipped) {
  ChildWindow dead("Worker", "dead", nullptr);
  ASSERT_TRUE(dead.ready());
  WindowInfo gone = dead.Info();
  ASSERT_FALSE(gone.id.empty());
  std::string base = prefix_.path() + "/run/windows/" + gone.id;
  ASSERT_TRUE(Exists(base + ".info"));
  kill(dead.pid(), SIGKILL);
  dead.Reap();

  int local = 0;
  auto w = Window::Create("Local", "alive", [&](uint32_t, uintptr_t, intptr_t) { ++local; });
  ASSERT_TRUE(w);
  auto list = Windows();
  ASSERT_EQ(1u, list.size());
  EXPECT_EQ(w->info().id, list[0].id);
  EXPECT_FALSE(Exists(base + ".info"));
  EXPECT_FALSE(Exists(base + ".sock"));
  EXPECT_FALSE(SendMessage(gone, kPing, 0, 0));
  Broadcast(kPing, 0, 0);
  EXPECT_EQ(1, local);
}

TEST_F(BusTest, ListedEndpointWithoutListenerIsDroppedByBroadcast) {
  // An info file whose owner is alive (us) but whose socket is gone.
  std::string dir = prefix_.path() + "/run/windows/";
  auto w = Window::Create("Local", "real", [](uint32_t, uintptr_t, intptr_t) {});
  ASSERT_TRUE(w);
  Append(dir + "999-1.info", std::to_string(getpid()) + "\nGhost\nghost");
  EXPECT_EQ(2u, Windows().size());
  Broadcast(kPing, 0, 0);
  EXPECT_FALSE(Exists(dir + "999-1.info"));
  EXPECT_EQ(1u, Windows().size());
}

TEST_F(BusTest, SendReturnsWhenTheOwnerDiesInItsHandler) {
  ChildWindow child("Worker", "crash", [](uint32_t msg, uintptr_t, intptr_t) {
    if (msg == kPing) _exit(3);
  });
  ASSERT_TRUE(child.ready());
  EXPECT_FALSE(SendMessage(child.Info(), kPing, 0, 0));
}

TEST_F(BusTest, HandlerMaySendBackToTheWaitingProcess) {
  int pongs = 0;
  auto w = Window::Create("Caller", "c", [&](uint32_t msg, uintptr_t, intptr_t) {
    if (msg == kPong) ++pongs;
  });
  ASSERT_TRUE(w);
  std::string result = File("reply");
  ChildWindow child("Worker", "echo", [&](uint32_t msg, uintptr_t, intptr_t) {
    if (msg != kPing) return;
    WindowInfo caller;
    bool ok = FindWindow("Caller", "", &caller) && SendMessage(caller, kPong, 0, 0);
    Append(result, ok ? "ok" : "fail");
  });
  ASSERT_TRUE(child.ready());
  EXPECT_TRUE(SendMessage(child.Info(), kPing, 0, 0));
  EXPECT_EQ(1, pongs);
  EXPECT_EQ("ok", Slurp(result));
}

TEST_F(BusTest, FindWindowMatchesClassAndTitleExactly) {
  auto noop = [](uint32_t, uintptr_t, intptr_t) {};
  auto a = Window::Create("ClassA", "Title A", noop);
  auto b = Window::Create("ClassB", "Title B", noop);
  ASSERT_TRUE(a && b);
  WindowInfo found;
  ASSERT_TRUE(FindWindow("ClassA", "", &found));
  EXPECT_EQ(a->info().id, found.id);
  ASSERT_TRUE(FindWindow("", "Title B", &found));
  EXPECT_EQ(b->info().id, found.id);
  EXPECT_EQ("ClassB", found.window_class);
  EXPECT_EQ(getpid(), found.pid);
  EXPECT_TRUE(FindWindow("ClassB", "Title B", nullptr));
  EXPECT_FALSE(FindWindow("ClassA", "Title B", nullptr));
  EXPECT_FALSE(FindWindow("classa", "", nullptr));
  EXPECT_FALSE(FindWindow("", "Title", nullptr));

  std::string base = prefix_.path() + "/run/windows/" + b->info().id;
  b.reset();
  EXPECT_FALSE(FindWindow("ClassB", "", nullptr));
  EXPECT_FALSE(Exists(base + ".info"));
  EXPECT_FALSE(Exists(base + ".sock"));
}

TEST_F(BusTest, HandlerMayDestroyItsOwnWindow) {
  std::unique_ptr<Window> w;
  w = Window::Create("Local", "closing", [&](uint32_t msg, uintptr_t, intptr_t) {
    if (msg == kCloseMessage) w.reset();
  });
  ASSERT_TRUE(w);
  Window* raw = w.get();
  ASSERT_TRUE(PostMessage(w->info(), kCloseMessage, 0, 0));
  EXPECT_EQ(1, raw->Pump(1000));
  EXPECT_FALSE(w);
  EXPECT_TRUE(Windows().empty());
}

TEST_F(BusTest, LongPrefixFallsBackToAbstractAddresses) {
  std::string deep = prefix_.path() + "/" + std::string(60, 'a') + "/" + std::string(60, 'b');
  setenv("NB_PREFIX", deep.c_str(), 1);
  std::string marker = deep + "/handled";
  ChildWindow child("Worker", "far", [&](uint32_t msg, uintptr_t, intptr_t) {
    if (msg == kPing) Append(marker, "x");
  });
  ASSERT_TRUE(child.ready());
  EXPECT_TRUE(SendMessage(child.Info(), kPing, 0, 0));
  EXPECT_EQ("x", Slurp(marker));
  setenv("NB_PREFIX", prefix_.path().c_str(), 1);
}

}  // namespace
}  // namespace nb::bus
