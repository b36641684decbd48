#include "restart.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "messages.h"
#include "platform/bus.h"
#include "platform/prefix.h"
#include "syncutil/syncutil.h"

namespace installer {
namespace {

constexpr int kCloseWaitMs = 3000;

bool Exists(const std::string& windows_path) {
  struct stat st;
  return stat(nb::MapPath(windows_path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool FindManager(nb::bus::WindowInfo* out) {
  return nb::bus::FindWindow("KittyHawk", "", out) ||
         nb::bus::FindWindow("", "HotSync Manager", out);
}

// True once the window is off the bus, at most after kCloseWaitMs.
bool WaitUntilGone(const nb::bus::WindowInfo& window) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kCloseWaitMs);
  while (std::chrono::steady_clock::now() < deadline) {
    bool present = false;
    for (const nb::bus::WindowInfo& w : nb::bus::Windows()) present = present || w.id == window.id;
    if (!present) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

// Starts the program in its own session; the grandchild is never waited for.
bool StartDetached(const std::string& program) {
  int status_pipe[2];
  if (pipe2(status_pipe, O_CLOEXEC) != 0) return false;
  pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    setsid();
    if (fork() != 0) _exit(0);
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    char name[] = "hotsync";
    char* argv[] = {name, nullptr};
    execv(program.c_str(), argv);
    char failed = 1;
    ssize_t n = write(status_pipe[1], &failed, 1);  // exec failed
    (void)n;
    _exit(127);
  }
  close(status_pipe[1]);
  int st = 0;
  waitpid(child, &st, 0);
  char failed = 0;
  bool exec_failed = read(status_pipe[0], &failed, 1) == 1;
  close(status_pipe[0]);
  return !exec_failed;
}

}  // namespace

bool RestartHotSync() {
  char buf[260];
  NB_GetHotSyncPath(buf, sizeof buf);
  std::string program = buf[0] ? buf : "C:\\Palm\\HOTSYNC.EXE";
  if (!Exists(program)) program = "C:\\PROGRAM FILE\\Palm\\HOTSYNC.EXE";
  if (!Exists(program)) {
    ShowError("Cannot find HOTSYNC.EXE");
    return false;
  }
  nb::bus::WindowInfo manager;
  const bool running = FindManager(&manager);
  if (running) {
    nb::bus::PostMessage(manager, nb::bus::kCloseMessage, 0, 0);
    WaitUntilGone(manager);
    if (Quiet())
      std::this_thread::sleep_for(std::chrono::milliseconds(3000));
    else
      ShowInfo("Restarting HotSync Manager");
  }
  if (!StartDetached(nb::MapPath(program))) {
    ShowError("Cannot start " + program);
    return false;
  }
  if (!running) ShowInfo("Starting HotSync Manager");
  return true;
}

}  // namespace installer
