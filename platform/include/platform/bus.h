// The message bus that stands in for top-level windows and window messages. A window is
// an endpoint: a Unix-domain socket in RunDir()/windows/, registered with its
// owner's process ID, window class and title. Messages carry (message, wparam, lparam).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace nb::bus {

// A stable id in 0xC000..0xFFFF for a message name, the same in every process of the
// desktop (names compare without regard to case); 0 when the registry of names cannot be
// written.
uint32_t RegisterWindowMessage(const std::string& name);

// The message sent to ask a window to close.
constexpr uint32_t kCloseMessage = 0x0010;

using Handler = std::function<void(uint32_t msg, uintptr_t wparam, intptr_t lparam)>;

struct WindowInfo {
  std::string id;  // endpoint name inside run/windows/
  int pid = 0;
  std::string window_class;
  std::string title;
};

// An endpoint owned by this process. Messages are delivered by Pump() (or by a loop that
// watches fd()) on the owner's thread; the sender of a synchronous message waits until
// the handler returned.
class Window {
 public:
  static std::unique_ptr<Window> Create(const std::string& window_class, const std::string& title,
                                        Handler handler);
  ~Window();
  const WindowInfo& info() const { return info_; }
  int fd() const { return fd_; }
  // Handles the messages waiting now; waits up to timeout_ms for the first. Returns the
  // number handled.
  int Pump(int timeout_ms);

 private:
  Window() = default;
  WindowInfo info_;
  int fd_ = -1;
  Handler handler_;
  std::string path_;
};

// Every live endpoint; stale ones (owner gone) are removed on the way.
std::vector<WindowInfo> Windows();
// First window with this class and/or title (empty matches anything).
bool FindWindow(const std::string& window_class, const std::string& title, WindowInfo* out);

// Delivers to one window and waits for its handler; false when it is gone.
bool SendMessage(const WindowInfo& to, uint32_t msg, uintptr_t wparam, intptr_t lparam);
// Queues for one window without waiting; false when it is gone.
bool PostMessage(const WindowInfo& to, uint32_t msg, uintptr_t wparam, intptr_t lparam);
// SendMessage to every window in turn, skipping none; a window of this process is
// handled in place.
void Broadcast(uint32_t msg, uintptr_t wparam, intptr_t lparam);

}  // namespace nb::bus
