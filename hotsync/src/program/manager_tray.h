// HotSync Manager's face on the desktop: its icon in the notification area, whose tip and
// picture tell whether it waits or synchronises, and the menu a click on it opens: the
// state, the last result with its time, the links to listen on (checkable: choosing one
// stops or starts listening on it), View Log (the readable report of "hotsync log" in a
// window), the registered conduits with their creators, and Exit. Without a display or a
// tray the same calls only log to NB_UI_LOG (platform/event_loop.h), so a headless program
// behaves the same. A link that cannot be listened on again is reported in a message box.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "link_listener.h"
#include "platform/event_loop.h"

namespace hotsync {

class ManagerTray {
 public:
  // `links` may be null (no link given); `exit` runs when Exit is chosen.
  ManagerTray(nb::ui::EventLoop& loop, LinkListeners* links, std::function<void()> exit);
  ~ManagerTray();
  ManagerTray(const ManagerTray&) = delete;
  ManagerTray& operator=(const ManagerTray&) = delete;

  // Puts the icon up; false when there is no tray to show it in.
  bool Show();
  // Busy while a synchronisation runs; `result` is its exit status (0: completed), -1 when
  // none ran after all (the last result stays).
  void Synchronising(const std::string& what);
  void Finished(int result);
  // A mouse message of the icon (event_loop.h's numbers): a click opens the menu, except
  // while a synchronisation runs.
  void OnMouse(int message);

  // The menu's caption, as NB_UI_ANSWERS names it, and the log window's.
  static constexpr const char* kMenuCaption = "HotSync Manager";
  static constexpr const char* kLogCaption = "HotSync Log";

 private:
  std::string State() const;
  std::vector<nb::ui::MenuItem> Menu() const;
  void Choose(const std::string& item);
  void ViewLog();
  void ShowStatus();

  nb::ui::EventLoop& loop_;
  LinkListeners* links_;
  std::function<void()> exit_;
  bool shown_ = false;
  std::string synchronising_;  // what, while a synchronisation runs
  std::string last_result_;    // "completed at ..." once one ran
  std::string shown_tip_;
};

}  // namespace hotsync
