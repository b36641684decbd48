#include "resident.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>

#include "desktop.h"
#include "link_listener.h"
#include "manager_tray.h"
#include "platform/bus.h"
#include "platform/event_loop.h"
#include "platform/os.h"
#include "platform/prefix.h"
#include "sync_log.h"
#include "synchronise.h"

namespace hotsync {
namespace {

constexpr char kWindowClass[] = "KittyHawk";
constexpr char kWindowTitle[] = "HotSync Manager";
// The button press: wparam is the pressing process, whose request file names the handheld.
constexpr char kPressMessage[] = "HotSync Manager Button";
// The tray icon's callback: lparam is the icon's mouse message, as for valtrix's form.
constexpr uint32_t kTrayCallbackMessage = 512;

volatile sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

std::string RequestBase(uintptr_t pid) {
  std::string dir = nb::RunDir() + "/hotsync";
  nb::MakeDirs(dir);
  return dir + "/press-" + std::to_string(pid);
}

std::string Slurp(const std::string& path) {
  std::string text;
  nb::ReadWholeFile(path, &text);
  return text;
}

// Written whole or not at all, so the presser never reads half a result.
bool WriteWhole(const std::string& path, const std::string& text) {
  std::string error;
  if (nb::WriteFileDurably(path, text, &error)) return true;
  std::fprintf(stderr, "%s\n", error.c_str());
  return false;
}

// Runs Synchronise with standard output and error going to `transcript` too.
int SynchroniseInto(const std::string& folder, const std::string& transcript) {
  std::fflush(stdout);
  std::fflush(stderr);
  nb::Os& os = nb::TheOs();
  int fd = os.Open(transcript.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return Synchronise(folder, SyncLock::WhenBusy::kRefuse);
  int saved_out = os.Dup(1), saved_err = os.Dup(2);
  os.Dup2(fd, 1);
  os.Dup2(fd, 2);
  os.Close(fd);
  // Waiting here would keep the window from answering the other synchronisation's
  // notifications; HotSync Manager ignores a press while the link is busy.
  int result = Synchronise(folder, SyncLock::WhenBusy::kRefuse);
  std::fflush(stdout);
  std::fflush(stderr);
  os.Dup2(saved_out, 1);
  os.Dup2(saved_err, 2);
  os.Close(saved_out);
  os.Close(saved_err);
  std::fputs(Slurp(transcript).c_str(), stdout);
  std::fflush(stdout);
  return result;
}

class Resident {
 public:
  int Run(const LinkOptions& link_options) {
    nb::bus::WindowInfo other;
    if (nb::bus::FindWindow(kWindowClass, "", &other)) {
      Complain("HotSync Manager is already running (process " + std::to_string(other.pid) + ")");
      return 1;
    }
    std::string error;
    if (!link_options.listen.empty() || !link_options.device.empty()) {
      links_ = LinkListeners::Open(link_options, &error);
      if (!links_) {
        Complain(error);
        return 1;
      }
    }
    press_ = nb::bus::RegisterWindowMessage(kPressMessage);
    window_ = nb::bus::Window::Create(
        kWindowClass, kWindowTitle,
        [this](uint32_t msg, uintptr_t wparam, intptr_t lparam) { Handle(msg, wparam, lparam); });
    if (!press_ || !window_) {
      Complain("cannot put the HotSync Manager window on the message bus");
      return 1;
    }
    loop_ = nb::ui::EventLoop::Create();
    tray_ = std::make_unique<ManagerTray>(*loop_, links_.get(), [this] { closing_ = true; });
    icon_ = tray_->Show();
    signal(SIGTERM, OnSignal);
    signal(SIGINT, OnSignal);
    // A handheld that hangs up mid-write is a failed link, not the end of the program.
    signal(SIGPIPE, SIG_IGN);
    Say("HotSync Manager is running: \"hotsync press --handheld DIR\" synchronises a handheld, "
        "a close request ends it");
    if (links_) Say("HotSync Manager listens for handhelds: " + links_->Describe());
    while (!closing_ && !g_stop) Wait();
    tray_.reset();
    window_.reset();
    Say("HotSync Manager closed");
    return 0;
  }

 private:
  // Answers the bus and serves the handheld links, whichever comes first.
  void Wait() {
    // The icon's clicks and open windows are served between waits, so they are short.
    if (icon_) loop_->ProcessEvents();
    if (!links_) {
      window_->Pump(icon_ ? 100 : 200);
      return;
    }
    std::vector<int> fds = links_->Fds();
    std::vector<pollfd> polled;
    for (int fd : fds) polled.push_back({fd, POLLIN, 0});
    polled.push_back({window_->fd(), POLLIN, 0});
    // Short enough to notice a cradle line that appeared.
    if (nb::TheOs().Poll(polled.data(), polled.size(), icon_ ? 100 : 1000) <= 0) return;
    if (polled.back().revents) window_->Pump(0);
    std::vector<int> ready;
    for (size_t i = 0; i + 1 < polled.size(); ++i)
      if (polled[i].revents) ready.push_back(polled[i].fd);
    if (ready.empty()) return;
    busy_ = true;
    tray_->Synchronising("a handheld over " + links_->Describe());
    links_->Serve(ready, [this](int timeout_ms) {
      window_->Pump(timeout_ms);
      if (icon_) loop_->ProcessEvents();
      return !closing_ && !g_stop;
    });
    tray_->Finished(links_->LastResult());
    busy_ = false;
  }

  void Handle(uint32_t msg, uintptr_t wparam, intptr_t lparam) {
    if (msg == kTrayCallbackMessage) {
      tray_->OnMouse(int(lparam));
    } else if (msg == nb::bus::kCloseMessage) {
      // A close request during a synchronisation ends the program after it.
      closing_ = true;
    } else if (msg == press_) {
      Press(wparam);
    }
  }

  void Press(uintptr_t pid) {
    const std::string base = RequestBase(pid);
    std::string folder = Slurp(base + ".req");
    while (!folder.empty() && (folder.back() == '\n' || folder.back() == '\r')) folder.pop_back();
    int result = 1;
    if (busy_) {
      // Pressed again while the conduits hand messages around: HotSync ignores that too.
      WriteWhole(base + ".out", "HotSync Manager is busy with a synchronisation\n");
    } else if (folder.empty()) {
      WriteWhole(base + ".out", "no handheld was named\n");
    } else {
      busy_ = true;
      Say("HotSync Manager: synchronising " + folder);
      tray_->Synchronising("the handheld in " + folder);
      result = SynchroniseInto(folder, base + ".out");
      tray_->Finished(result);
      busy_ = false;
    }
    WriteWhole(base + ".res", std::to_string(result) + "\n");
  }

  uint32_t press_ = 0;
  std::unique_ptr<nb::bus::Window> window_;
  std::unique_ptr<LinkListeners> links_;
  std::unique_ptr<nb::ui::EventLoop> loop_;
  std::unique_ptr<ManagerTray> tray_;
  bool icon_ = false;  // shown in a real tray
  bool busy_ = false;
  bool closing_ = false;
};

}  // namespace

int RunResident(const LinkOptions& links) { return Resident().Run(links); }

int Press(const std::string& handheld_folder) {
  nb::bus::WindowInfo manager;
  if (!nb::bus::FindWindow(kWindowClass, "", &manager) &&
      !nb::bus::FindWindow("", kWindowTitle, &manager)) {
    Complain("HotSync Manager is not running; start it with \"hotsync run\"");
    return 1;
  }
  const uint32_t press = nb::bus::RegisterWindowMessage(kPressMessage);
  const uintptr_t pid = uintptr_t(getpid());
  const std::string base = RequestBase(pid);
  const std::string folder = nb::AbsolutePath(handheld_folder);
  for (const char* ext : {".out", ".res"}) nb::TheOs().Unlink((base + ext).c_str());
  if (!press || !WriteWhole(base + ".req", folder + "\n")) {
    Complain("cannot hand the request to HotSync Manager");
    return 1;
  }
  bool delivered = nb::bus::SendMessage(manager, press, pid, 0);
  const std::string out = Slurp(base + ".out");
  const std::string res = Slurp(base + ".res");
  for (const char* ext : {".req", ".out", ".res"}) nb::TheOs().Unlink((base + ext).c_str());
  std::fputs(PressReport(out).c_str(), stdout);
  if (!delivered || res.empty()) {
    Complain("HotSync Manager did not carry out the synchronisation");
    return 1;
  }
  return std::atoi(res.c_str());
}

}  // namespace hotsync
