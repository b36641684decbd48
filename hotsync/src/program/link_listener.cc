#include "link_listener.h"

#include <poll.h>

#include <cerrno>

#include "desktop.h"
#include "dlp/client.h"
#include "hhlink/netsync.h"
#include "hhlink/serial.h"
#include "platform/os.h"
#include "sync_log.h"
#include "synchronise.h"

namespace hotsync {
namespace {

// How long a handheld is kept waiting while another synchronisation of this desktop
// runs before it is told the desktop is busy.
constexpr long kTurnWaitSeconds = 120;
// A handheld's own time-out is longer than this.
constexpr long kKeepAliveSeconds = 5;
// How often a missing or failed cradle line is tried again.
constexpr long kReopenSeconds = 1;

bool IsLoopback(const std::string& address) {
  return address.empty() || address == "localhost" || address.rfind("127.", 0) == 0 ||
         address == "[::1]";
}

// Tells the handheld and the desktop's log that this handheld's turn did not come.
void RefuseBusy(nb::dlp::Handheld& handheld, const std::string& where, const std::string& why) {
  handheld.AddSyncLogEntry(
      "HotSync Manager is busy with another synchronisation; try again later\n");
  handheld.EndOfSync(nb::dlp::kSyncOther);
  const std::string text = why + "; the handheld was told to try again later";
  Desktop desktop;
  std::string error;
  if (!ReadDesktop(&desktop, &error)) return Complain(where + ": " + text);
  SyncLog log(desktop);
  if (!log.usable()) return Complain(where + ": " + text);
  log.Begin(DesktopLogFile(desktop), "", where);
  log.Problem(text);
  log.End(false);
}

// Waits for this desktop's synchronisation lock to be free, keeping the handheld awake
// meanwhile; false when the handheld went away or its wait grew too long (it has been
// told so then).
bool AwaitTurn(nb::dlp::Handheld& handheld, const std::string& where,
               const LinkListeners::Idle& idle) {
  nb::Os& os = nb::TheOs();
  const long start = long(os.Now());
  long last_tick = start;
  bool said = false;
  std::string why;
  for (;;) {
    // Free now: the session takes it at once; should another program slip in between,
    // the session waits for it as any synchronisation does.
    if (SyncLock::Take(SyncLock::WhenBusy::kRefuse, &why)) return true;
    const long now = long(os.Now());
    if (now - start >= kTurnWaitSeconds) {
      RefuseBusy(handheld, where, why);
      return false;
    }
    if (!said) Say("HotSync: the handheld on the " + where + " waits for its turn: " + why);
    said = true;
    if (now - last_tick >= kKeepAliveSeconds) {
      last_tick = now;
      if (handheld.KeepAlive() != nb::dlp::kOk) {
        Complain(where + ": the handheld went away while it waited for its turn");
        return false;
      }
    }
    if (!idle(1000)) {
      handheld.EndOfSync(nb::dlp::kSyncCancelled);
      Complain(where + ": HotSync Manager closes; the handheld's synchronisation is cancelled");
      return false;
    }
  }
}

// One whole synchronisation over a link that has finished its handshake; its result.
int Session(std::unique_ptr<nb::link::PacketLink> link, const SessionOptions& options,
            const LinkListeners::Idle& idle) {
  nb::dlp::Client client(*link);
  if (!AwaitTurn(client, options.where, idle)) return 1;
  // A handheld that hangs up after EndOfSync is done, not lost.
  const int result = SynchroniseHandheld(client, options, SyncLock::WhenBusy::kWait);
  if (result != 0 && client.failed())
    Complain(options.where + ": the link ended: " + client.error());
  return result;
}

}  // namespace

bool ParseListenAddress(const std::string& text, std::string* address, int* port,
                        std::string* error) {
  const size_t colon = text.rfind(':');
  const std::string number = colon == std::string::npos ? text : text.substr(colon + 1);
  *address = colon == std::string::npos ? "" : text.substr(0, colon);
  if (number.empty() || number.size() > 5 ||
      number.find_first_not_of("0123456789") != std::string::npos || std::stoi(number) > 65535) {
    *error = "--listen takes [ADDRESS:]PORT with a port from 0 to 65535, not \"" + text + "\"";
    return false;
  }
  *port = std::stoi(number);
  return true;
}

std::unique_ptr<LinkListeners> LinkListeners::Open(const LinkOptions& options, std::string* error) {
  std::unique_ptr<LinkListeners> links(new LinkListeners);
  links->options_ = options;
  if (!options.listen.empty()) {
    std::string address;
    int port = 0;
    if (!ParseListenAddress(options.listen, &address, &port, error)) return nullptr;
    links->loopback_ = IsLoopback(address);
    links->listen_fd_ = nb::link::ListenTcp(address, port, error);
    if (links->listen_fd_ < 0) return nullptr;
    links->address_ = (address.empty() ? "127.0.0.1" : address) + ":" +
                      std::to_string(nb::link::BoundPort(links->listen_fd_));
  }
  if (!options.device.empty()) links->OpenCradle();
  return links;
}

LinkListeners::~LinkListeners() {
  if (listen_fd_ >= 0) nb::TheOs().Close(listen_fd_);
  if (cradle_fd_ >= 0) nb::TheOs().Close(cradle_fd_);
}

std::string LinkListeners::Describe() const {
  std::string text;
  for (Link link : {Link::kNetSync, Link::kCradle})
    if (Listening(link)) text += (text.empty() ? "" : ", ") + Describe(link);
  return text;
}

std::string LinkListeners::Describe(Link link) const {
  if (link == Link::kNetSync) return "NetSync on " + address_;
  return "cradle " + options_.device + " at " + std::to_string(options_.baud) + " bit/s";
}

bool LinkListeners::Has(Link link) const {
  return link == Link::kNetSync ? !address_.empty() : !options_.device.empty();
}

bool LinkListeners::Listening(Link link) const {
  return link == Link::kNetSync ? listen_fd_ >= 0 : Has(link) && !cradle_stopped_;
}

bool LinkListeners::SetListening(Link link, bool on, std::string* error) {
  if (!Has(link) || Listening(link) == on) return true;
  nb::Os& os = nb::TheOs();
  if (link == Link::kCradle) {
    cradle_stopped_ = !on;
    if (!on && cradle_fd_ >= 0) os.Close(cradle_fd_), cradle_fd_ = -1;
    next_open_ = 0;
    return true;
  }
  if (!on) {
    os.Close(listen_fd_);
    listen_fd_ = -1;
    return true;
  }
  const size_t colon = address_.rfind(':');
  listen_fd_ =
      nb::link::ListenTcp(address_.substr(0, colon), std::stoi(address_.substr(colon + 1)), error);
  return listen_fd_ >= 0;
}

std::vector<int> LinkListeners::Fds() {
  if (!options_.device.empty() && !cradle_stopped_ && cradle_fd_ < 0) OpenCradle();
  std::vector<int> fds;
  if (listen_fd_ >= 0) fds.push_back(listen_fd_);
  if (cradle_fd_ >= 0) fds.push_back(cradle_fd_);
  return fds;
}

bool LinkListeners::Serve(const std::vector<int>& ready, const Idle& idle) {
  bool served = false;
  last_result_ = -1;
  for (int fd : ready) {
    if (fd < 0) continue;
    if (fd == listen_fd_) {
      ServeNetSync(idle);
      served = true;
    } else if (fd == cradle_fd_) {
      ServeCradle(idle);
      served = true;
    }
  }
  return served;
}

void LinkListeners::ServeNetSync(const Idle& idle) {
  std::string peer, error;
  const int fd = nb::link::AcceptConnection(listen_fd_, 0, &peer, &error);
  if (fd < 0) {
    // Nothing there after all (the peer gave up at once), or a passing shortage.
    if (errno != ETIMEDOUT) Complain("NetSync on " + address_ + ": " + error);
    return;
  }
  const std::string where = "network " + address_ + " from " + peer;
  auto link = nb::link::AcceptNetSync(fd, &error);
  if (!link) {
    Complain(where + ": no HotSync: " + error);
    return;
  }
  Say("HotSync: a handheld on the " + where);
  SessionOptions session;
  session.where = where;
  session.admit_new_users = loopback_ || options_.admit_new_users;
  session.user = options_.user;
  last_result_ = Session(std::move(link), session, idle);
}

void LinkListeners::ServeCradle(const Idle& idle) {
  const int fd = cradle_fd_;
  cradle_fd_ = -1;  // the link owns it from here on
  const std::string where = "cradle " + options_.device;
  std::string error;
  auto link = nb::link::AcceptOnLine(fd, options_.baud, &error);
  next_open_ = long(nb::TheOs().Now()) + kReopenSeconds;
  if (!link) {
    Complain(where + ": no HotSync: " + error);
    return;
  }
  Say("HotSync: a handheld in the " + where);
  SessionOptions session;
  session.where = where;
  session.admit_new_users = true;
  session.user = options_.user;
  last_result_ = Session(std::move(link), session, idle);
}

void LinkListeners::OpenCradle() {
  const long now = long(nb::TheOs().Now());
  if (now < next_open_) return;
  next_open_ = now + kReopenSeconds;
  std::string error;
  cradle_fd_ = nb::link::OpenSerialLine(options_.device, &error);
  if (cradle_fd_ >= 0) {
    if (!open_error_.empty()) Say("HotSync: cradle " + options_.device + " is there");
    open_error_.clear();
  } else if (error != open_error_) {
    // A USB cradle's line appears only while its handheld is in HotSync: said once.
    Say("HotSync: cradle " + options_.device + " not ready (" + error + "); waiting for it");
    open_error_ = error;
  }
}

}  // namespace hotsync
