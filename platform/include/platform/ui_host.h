// The windowing host of the UI seam. The core shows boxes, dialogs and the tray headless;
// a program with windows installs a host at start-up (nbui_qt's nb::InstallQtHost()), and
// from then on every box of the process, a plug-in's included, shows through it while a
// display is there (ui.h HasDisplay). The host is process-wide and lives until exit.
#pragma once

#include <memory>
#include <string>

#include "platform/event_loop.h"
#include "platform/ui.h"

namespace nb::ui {

class Host {
 public:
  virtual ~Host() = default;
  virtual void MessageBox(const std::string& caption, const std::string& text, Icon icon) = 0;
  // "timeout" or "OK".
  virtual std::string TimedMessageBox(const std::string& caption, const std::string& text,
                                      Icon icon, int seconds) = 0;
  // Closes after `seconds` with "timeout" when it is above 0.
  virtual std::string RunDialog(const Dialog& dialog, int seconds) = 0;
  virtual std::unique_ptr<EventLoop> CreateEventLoop() = 0;
  // Non-modal; lives until the person closes it.
  virtual void ShowTextWindow(const std::string& caption, const std::string& text) = 0;
};

// Installs `host` for the whole process (null: headless again); the caller keeps it alive.
void InstallHost(Host* host);
// The installed host while a display is there, else null.
Host* WindowingHost();

// For a program that may run without a display and must then load no windowing library:
// when HasDisplay(), loads libnbui_qt.so from beside libnbplatform.so and installs its
// host. False, with the reason on standard error, when it cannot be loaded; the program
// stays headless then.
bool LoadQtHostIfDisplay();

}  // namespace nb::ui
