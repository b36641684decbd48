// The handheld links of the resident HotSync Manager: a NetSync listening socket and a
// serial or USB cradle line. Each handheld that comes in gets one whole synchronisation
// through the link; one at a time per desktop, so a handheld that finds another
// synchronisation running is kept awake while it waits, and told the desktop is busy when
// the wait grows too long. A link that breaks, a peer that speaks nonsense or a cradle
// that vanishes is logged and closed; the listeners go on.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace hotsync {

struct LinkOptions {
  std::string listen;  // "[ADDR:]PORT"; empty: no NetSync
  std::string device;  // cradle line; empty: none
  int baud = 115200;
  bool admit_new_users = false;  // for handhelds from a network address
  std::string user;              // the user of a handheld that has none yet
};

// Splits "[ADDR:]PORT"; an empty address stands for loopback.
bool ParseListenAddress(const std::string& text, std::string* address, int* port,
                        std::string* error);

class LinkListeners {
 public:
  // Called about every second while a link session waits for its turn, so the program's
  // own messages are still answered; false when the program is to end.
  using Idle = std::function<bool(int timeout_ms)>;

  // Null with the reason when the listening socket cannot be had. A cradle that is not
  // there yet is waited for.
  static std::unique_ptr<LinkListeners> Open(const LinkOptions& options, std::string* error);
  ~LinkListeners();
  LinkListeners(const LinkListeners&) = delete;
  LinkListeners& operator=(const LinkListeners&) = delete;

  // What it listens on, e.g. "NetSync on 127.0.0.1:14238, cradle /dev/ttyUSB1 at 115200 bit/s".
  std::string Describe() const;

  // The links given at the start can be stopped and started again while the program runs
  // (the tray's menu); a stopped one lets no handheld in. Starting the network again binds
  // the port it had; false with the reason when that fails.
  enum class Link { kNetSync, kCradle };
  bool Has(Link link) const;
  bool Listening(Link link) const;
  bool SetListening(Link link, bool on, std::string* error);
  // The one link, described as Describe() does, also while stopped.
  std::string Describe(Link link) const;
  // The result of the synchronisation the last Serve ran (0 when it succeeded), -1 when it
  // ran none.
  int LastResult() const { return last_result_; }
  // Descriptors to wait on for reading (the cradle's only while it is open).
  std::vector<int> Fds();
  // Serves whatever came in on `ready` descriptors (from Fds()) and reopens a vanished
  // cradle; true when a synchronisation ran.
  bool Serve(const std::vector<int>& ready, const Idle& idle);

 private:
  LinkListeners() = default;
  void ServeNetSync(const Idle& idle);
  void ServeCradle(const Idle& idle);
  void OpenCradle();

  LinkOptions options_;
  std::string address_;  // as shown
  bool loopback_ = true;
  int listen_fd_ = -1;
  int cradle_fd_ = -1;
  long next_open_ = 0;      // when the cradle is tried again (seconds)
  std::string open_error_;  // the last reason the cradle could not be opened
  bool cradle_stopped_ = false;
  int last_result_ = -1;
};

}  // namespace hotsync
