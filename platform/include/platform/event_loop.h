// The program's event loop, with the notification-area icon and its pop-up menu. The
// windowing host's when there is one (see ui_host.h), a poll loop otherwise; both watch file
// descriptors (bus endpoints) and turn signals into calls on the loop's thread.
//
// Without a display or without a tray host there is no icon, and everything else runs
// the same. Each icon change and menu is appended to NB_UI_LOG like a message box:
// {"caption": "tray", "text": "add Valtrix", ...}, "tip <text>", "icon busy" or "icon idle"
// (answer "no tray" without an icon); a headless menu answers with the item
// NB_UI_ANSWERS names for its caption, or with none. A menu's log text has one line per
// item: "-" for a separator, "[x] " or "[ ] " before a checkable item, and a submenu's
// items after its own line ("Conduits >"), indented by two spaces.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
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

// An item of a pop-up menu. An empty text is a separator; an item with a submenu opens it
// and is never chosen itself; a disabled item only tells something.
struct MenuItem {
  MenuItem() = default;
  MenuItem(std::string label, bool can_choose = true)
      : text(std::move(label)), enabled(can_choose) {}
  std::string text;
  bool enabled = true;
  bool checkable = false;
  bool checked = false;
  std::vector<MenuItem> submenu;
};

// The icon's picture, one per program: a house (the appraisal programs) or two arrows
// chasing each other (HotSync). Busy shows the same picture on an orange ground.
enum class TrayPicture { kHouse, kSync };

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
  virtual bool AddTrayIcon(const std::string& tip, std::function<void(int message)> mouse,
                           TrayPicture picture = TrayPicture::kHouse) = 0;
  virtual void DeleteTrayIcon() = 0;
  // What the icon tells: its tooltip, and a busy picture while work is under way.
  virtual void SetTrayToolTip(const std::string& tip) = 0;
  virtual void SetTrayBusy(bool busy) = 0;
  // Shows the menu at the mouse position; the index of the item chosen, or -1.
  int PopupMenu(const std::string& caption, const std::vector<std::string>& items);
  // The same with separators, checkable and disabled items and submenus; the text of the
  // item chosen, empty when none was.
  virtual std::string ShowMenu(const std::string& caption, const std::vector<MenuItem>& items) = 0;
  // Handles what the windowing system has pending (the icon's clicks, open windows)
  // without waiting, for a program that waits in a loop of its own.
  virtual void ProcessEvents() = 0;

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
