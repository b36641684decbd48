#include "restart.h"

#include <chrono>
#include <string>
#include <thread>

#include "messages.h"
#include "platform/bus.h"
#include "platform/os.h"
#include "platform/prefix.h"
#include "syncutil/syncutil.h"

namespace installer {
namespace {

constexpr int kCloseWaitMs = 3000;

bool Exists(const std::string& windows_path) {
  return nb::IsRegularFile(nb::MapPath(windows_path));
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
  if (nb::TheOs().StartDetached(nb::MapPath(program).c_str(), {"hotsync"}) != 0) {
    ShowError("Cannot start " + program);
    return false;
  }
  if (!running) ShowInfo("Starting HotSync Manager");
  return true;
}

}  // namespace installer
