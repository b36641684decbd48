#include "platform/event_loop.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/ui.h"
#include "platform/ui_host.h"
#include "ui_internal.h"

namespace nb::ui {

namespace {

int g_signal_write_fd = -1;

void OnSignalArrived(int signo) {
  unsigned char b = static_cast<unsigned char>(signo);
  int saved = errno;
  if (g_signal_write_fd >= 0) (void)!write(g_signal_write_fd, &b, 1);
  errno = saved;
}

void AddMenuText(const std::vector<MenuItem>& items, const std::string& indent, std::string* out) {
  for (const MenuItem& item : items) {
    if (!out->empty()) *out += "\n";
    *out += indent;
    if (item.text.empty()) {
      *out += "-";
      continue;
    }
    if (item.checkable) *out += item.checked ? "[x] " : "[ ] ";
    *out += item.text;
    if (!item.submenu.empty()) {
      *out += " >";
      AddMenuText(item.submenu, indent + "  ", out);
    }
  }
}

// The enabled item whose label is `answer`, submenus included; null when none.
const MenuItem* FindItem(const std::vector<MenuItem>& items, const std::string& answer) {
  for (const MenuItem& item : items) {
    if (!item.submenu.empty()) {
      if (const MenuItem* found = FindItem(item.submenu, answer)) return found;
    } else if (item.enabled && !item.text.empty() && internal::Normalize(item.text) == answer) {
      return &item;
    }
  }
  return nullptr;
}

class PollLoop : public EventLoop {
 public:
  void Watch(int fd, std::function<void()> readable) override {
    watched_.emplace_back(fd, std::move(readable));
  }

  void Run() override {
    quit_ = false;
    while (!quit_) {
      std::vector<pollfd> fds{{signal_fd(), POLLIN, 0}};
      for (auto& w : watched_) fds.push_back({w.first, POLLIN, 0});
      if (poll(fds.data(), fds.size(), -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[0].revents) DispatchSignals();
      for (size_t i = 1; i < fds.size() && !quit_; ++i)
        if (fds[i].revents) watched_[i - 1].second();
    }
  }

  bool AddTrayIcon(const std::string& tip, std::function<void(int)>, TrayPicture) override {
    internal::Log("tray", "add " + tip, "no tray");
    return false;
  }
  void DeleteTrayIcon() override {}
  void SetTrayToolTip(const std::string& tip) override {
    internal::Log("tray", "tip " + tip, "no tray");
  }
  void SetTrayBusy(bool busy) override {
    internal::Log("tray", busy ? "icon busy" : "icon idle", "no tray");
  }

  std::string ShowMenu(const std::string& caption, const std::vector<MenuItem>& items) override {
    std::string answer = internal::Normalize(internal::ScriptedAnswer(caption));
    const MenuItem* chosen = answer.empty() ? nullptr : FindItem(items, answer);
    internal::Log(caption, internal::MenuText(items), chosen ? chosen->text : "cancel");
    return chosen ? chosen->text : "";
  }
  void ProcessEvents() override {}

 private:
  std::vector<std::pair<int, std::function<void()>>> watched_;
};

}  // namespace

namespace internal {

std::string MenuText(const std::vector<MenuItem>& items) {
  std::string out;
  AddMenuText(items, "", &out);
  return out;
}

}  // namespace internal

int EventLoop::PopupMenu(const std::string& caption, const std::vector<std::string>& items) {
  std::vector<MenuItem> menu;
  for (const std::string& text : items) menu.push_back({text});
  const std::string chosen = ShowMenu(caption, menu);
  for (size_t i = 0; i < items.size(); ++i)
    if (!chosen.empty() && items[i] == chosen) return int(i);
  return -1;
}

EventLoop::EventLoop() {
  if (pipe2(signal_pipe_, O_CLOEXEC | O_NONBLOCK) == 0) g_signal_write_fd = signal_pipe_[1];
}

EventLoop::~EventLoop() {
  for (auto& h : signal_handlers_) signal(h.first, SIG_DFL);
  g_signal_write_fd = -1;
  for (int fd : signal_pipe_)
    if (fd >= 0) close(fd);
}

void EventLoop::OnSignal(int signo, std::function<void()> handler) {
  signal_handlers_.emplace_back(signo, std::move(handler));
  struct sigaction sa = {};
  sa.sa_handler = OnSignalArrived;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(signo, &sa, nullptr);
}

void EventLoop::DispatchSignals() {
  unsigned char b;
  while (read(signal_pipe_[0], &b, 1) == 1)
    for (auto& h : signal_handlers_)
      if (h.first == b) h.second();
}

std::unique_ptr<EventLoop> EventLoop::Create() {
  if (Host* host = WindowingHost()) return host->CreateEventLoop();
  return std::make_unique<PollLoop>();
}

}  // namespace nb::ui
