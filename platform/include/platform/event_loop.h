// The program's event loop, with the notification-area icon and its pop-up menu. The
// windowing host's when there is one (see ui_host.h), a poll loop otherwise; both watch file
// descriptors (bus endpoints) and turn signals into calls on the loop's thread.
//
// Without a display or without a tray host there is no icon, and everything else runs
// the same. Each icon change and menu is appended to NB_UI_LOG like a message box:
// {"caption": "tray", "text": "add Valtrix", ...}, "tip <text>", "icon busy" or "icon idle"
// (answer "no tray" without an icon); a headless menu answers with the item
// NB_UI_ANSWERS names for its caption, or with none.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace nb::ui {

// Mouse messages of the icon, numbered as the shell numbers them.
enum TrayMouse : int {
  kMouseMove = 512,
  kLeftButtonDown = 513,
  kLeftButtonUp = 514,
  kLeftDoubleClick = 515,
  kRightButtonDown = 516,
  kRightButtonUp = 517,
  kMiddleButtonUp = 520,
};

class EventLoop {
 public:
  static std::unique_ptr<EventLoop> Create();
  virtual ~EventLoop();

  // `readable` runs each time fd has data.
  virtual void Watch(int fd, std::function<void()> readable) = 0;
  // The handler runs on the loop's thread after the signal arrived.
  void OnSignal(int signo, std::function<void()> handler);
  virtual void Run() = 0;
  void Quit() { quit_ = true; }

  // False when no icon can be shown; `mouse` receives the icon's mouse messages.
  virtual bool AddTrayIcon(const std::string& tip, std::function<void(int message)> mouse) = 0;
  virtual void DeleteTrayIcon() = 0;
  // What the icon tells: its tooltip, and a busy picture while work is under way.
  virtual void SetTrayToolTip(const std::string& tip) = 0;
  virtual void SetTrayBusy(bool busy) = 0;
  // Shows the menu at the mouse position; the index of the item chosen, or -1.
  virtual int PopupMenu(const std::string& caption, const std::vector<std::string>& items) = 0;

 protected:
  EventLoop();
  int signal_fd() const { return signal_pipe_[0]; }
  void DispatchSignals();
  bool quit_ = false;

 private:
  int signal_pipe_[2] = {-1, -1};
  std::vector<std::pair<int, std::function<void()>>> signal_handlers_;
};

}  // namespace nb::ui
