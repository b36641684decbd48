#include "hhlink/serial.h"

#include <fcntl.h>
#include <termios.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "accept.h"
#include "hhlink/cmp.h"
#include "hhlink/padp.h"
#include "hhlink/slp.h"
#include "line.h"
#include "platform/os.h"

namespace nb::link {
namespace {

// The CMP exchange runs under this ID; the desktop's first request then takes 1.
constexpr uint8_t kOpeningXid = 0xff;

struct Speed {
  int baud;
  speed_t code;
};
constexpr Speed kSpeeds[] = {{9600, B9600},   {19200, B19200},   {38400, B38400},
                             {57600, B57600}, {115200, B115200}, {230400, B230400}};

// The fastest speed the line supports at or below `baud` (9600 at least).
int Supported(uint32_t baud) {
  int best = 9600;
  for (const Speed& s : kSpeeds) {
    if (uint32_t(s.baud) <= baud) best = s.baud;
  }
  return best;
}

// Switches the line once what was written has left. Not a terminal (a socket in tests):
// nothing to switch.
bool SetSpeed(int fd, int baud, std::string* error, bool* switched = nullptr) {
  const Speed* speed = nullptr;
  for (const Speed& s : kSpeeds) {
    if (s.baud == baud) speed = &s;
  }
  if (!speed) {
    *error = "no line speed of " + std::to_string(baud) + " baud";
    return false;
  }
  termios t;
  if (TheOs().TcGetAttr(fd, &t) != 0) {
    if (errno == ENOTTY) return true;
    *error = std::string("cannot read the line settings: ") + strerror(errno);
    return false;
  }
  TheOs().TcDrain(fd);
  if (TheOs().CfSetSpeed(&t, speed->code) != 0 || TheOs().TcSetAttr(fd, TCSADRAIN, &t) != 0) {
    *error = "cannot switch the line to " + std::to_string(baud) + " baud: " + strerror(errno);
    return false;
  }
  if (switched) *switched = true;
  return true;
}

std::string Hex(uint8_t b) {
  char text[8];
  snprintf(text, sizeof text, "0x%02X", b);
  return text;
}

class SerialLink : public PacketLink {
 public:
  SerialLink(std::unique_ptr<Line> line, bool desktop, const Faults& faults)
      : line_(std::move(line)), desktop_(desktop), faults_(faults) {}

  bool Send(const std::vector<uint8_t>& packet) override {
    if (dead_) return false;
    if (packet.size() > kMaxPacket || (packet.size() > 0xFFFF && !long_form_)) {
      return Fail("packet of " + std::to_string(packet.size()) +
                  " bytes is beyond what the link carries");
    }
    if (desktop_) xid_ = xid_ >= 0xfe ? 1 : xid_ + 1;
    const bool corrupt = !desktop_ && opened_ && ++sent_ == faults_.corrupt_packet;
    return SendMessage(packet, corrupt);
  }

  bool Receive(std::vector<uint8_t>* packet, int timeout_ms) override {
    return !dead_ && ReceiveMessage(packet, timeout_ms);
  }

  bool KeepAlive() override {
    return !dead_ && WriteFrame(BuildPadp(kPadpTickle, kPadpFirst | kPadpLast, 0, nullptr, 0));
  }

  bool dead() const override { return dead_; }
  const std::string& error() const override { return error_; }

  // The desktop's side of CMP.
  bool Answer(int baud) {
    std::vector<uint8_t> message;
    CmpPacket wakeup;
    std::string why;
    if (!ReceiveMessage(&message, kDefaultTimeoutMs)) return false;
    if (!ParseCmp(message.data(), message.size(), &wakeup, &why)) return Fail(why);
    if (wakeup.type != kCmpWakeup) return Fail("expected the handheld's CMP wakeup");
    if (wakeup.version >> 8 != kCmpVersion >> 8) {
      SendMessage(BuildCmp({kCmpAbort, kCmpAbortVersion, kCmpVersion, 0}), false);
      return Fail("incompatible CMP version " + std::to_string(wakeup.version >> 8) + "." +
                  std::to_string(wakeup.version & 0xff));
    }
    const int speed = Supported(std::min<uint32_t>(uint32_t(std::max(baud, 0)), wakeup.baud));
    const uint8_t flags =
        uint8_t((speed != 9600 ? kCmpChangeSpeed : 0) | (wakeup.flags & kCmpLongPackets));
    if (!SendMessage(BuildCmp({kCmpInit, flags, kCmpVersion, uint32_t(speed)}), false)) {
      return false;
    }
    long_form_ = flags & kCmpLongPackets;
    bool switched = false;
    if (!SetSpeed(line_->fd(), speed, &why, &switched)) return Fail(why);
    // The handheld switches after its acknowledgement has left; give it a moment.
    if (switched) TheOs().Poll(nullptr, 0, 50);
    return opened_ = true;
  }

  // The handheld's side.
  bool Open(int max_baud) {
    std::vector<uint8_t> message;
    CmpPacket init;
    std::string why;
    const CmpPacket wakeup = {kCmpWakeup, kCmpLongPackets, kCmpVersion, uint32_t(max_baud)};
    if (!SendMessage(BuildCmp(wakeup), false) || !ReceiveMessage(&message, kDefaultTimeoutMs)) {
      return false;
    }
    if (!ParseCmp(message.data(), message.size(), &init, &why)) return Fail(why);
    if (init.type == kCmpAbort) return Fail("the desktop refused the connection");
    if (init.type != kCmpInit) return Fail("expected the desktop's CMP init");
    long_form_ = init.flags & kCmpLongPackets;
    if (init.flags & kCmpChangeSpeed && init.baud > uint32_t(max_baud)) {
      return Fail("the desktop named " + std::to_string(init.baud) + " baud, above the " +
                  std::to_string(max_baud) + " offered");
    }
    if (init.flags & kCmpChangeSpeed && !SetSpeed(line_->fd(), int(init.baud), &why)) {
      return Fail(why);
    }
    return opened_ = true;
  }

 private:
  struct Fragment {
    uint8_t xid = 0, flags = 0;
    uint32_t size = 0;
    bool valid = false;
    bool Is(uint8_t x, const PadpHeader& h) const {
      return valid && x == xid && h.flags == flags && h.size == size;
    }
  };

  bool Fail(const std::string& why) {
    if (!dead_) error_ = "serial link: " + why;
    dead_ = true;
    return false;
  }

  bool WriteFrame(const std::vector<uint8_t>& padp, bool corrupt = false) {
    SlpHeader header;
    header.xid = xid_;
    std::vector<uint8_t> frame = BuildSlpFrame(header, padp);
    if (corrupt) frame.back() ^= 0x5a;
    std::string why;
    return line_->Write(frame, &why) || Fail(why);
  }

  bool ReadFrame(uint8_t* xid, PadpHeader* padp, std::vector<uint8_t>* body, int timeout_ms) {
    std::vector<uint8_t> frame(kSlpHeaderSize);
    SlpHeader header;
    std::string why;
    if (!line_->Read(frame.data(), frame.size(), timeout_ms, &why)) return Fail(why);
    if (!ParseSlpHeader(frame.data(), frame.size(), &header, &why)) return Fail(why);
    frame.resize(kSlpHeaderSize + header.size + kSlpCrcSize);
    if (!line_->Read(frame.data() + kSlpHeaderSize, frame.size() - kSlpHeaderSize, timeout_ms,
                     &why) ||
        !ParseSlpFrame(frame.data(), frame.size(), &header, body, &why) ||
        !ParsePadpHeader(body->data(), body->size(), padp, &why)) {
      return Fail(why);
    }
    if (padp->type == kPadpAbort) return Fail("the " + line_->peer() + " aborted the link");
    *xid = header.xid;
    return true;
  }

  bool Acknowledge(uint8_t xid, const PadpHeader& h) {
    acked_ = {xid, h.flags, h.size, true};
    const uint8_t saved = xid_;
    xid_ = xid;
    const bool ok = WriteFrame(BuildPadp(kPadpAck, h.flags, h.size, nullptr, 0));
    xid_ = saved;
    return ok;
  }

  // Sends `message` in fragments under xid_, each acknowledged before the next.
  bool SendMessage(const std::vector<uint8_t>& message, bool corrupt) {
    const size_t total = message.size();
    const uint8_t form = total > 0xFFFF ? kPadpLongForm : 0;
    size_t offset = 0;
    do {
      const size_t n = std::min(kPadpMaxFragment, total - offset);
      const uint8_t flags =
          uint8_t((offset == 0 ? kPadpFirst : 0) | (offset + n == total ? kPadpLast : 0) | form);
      const uint32_t size = uint32_t(offset == 0 ? total : offset);
      const auto padp = BuildPadp(kPadpData, flags, size, message.data() + offset, n);
      for (int tries = 1;; ++tries) {
        if (!WriteFrame(padp, corrupt && offset == 0 && tries == 1)) return false;
        bool acked;
        if (!AwaitAck(flags, size, &acked)) return false;
        if (acked) break;
        if (tries == kSendTries) {
          return Fail("no acknowledgement from the " + line_->peer() + " after " +
                      std::to_string(kSendTries) + " tries");
        }
      }
      offset += n;
    } while (offset < total);
    return true;
  }

  // *acked false: the time-out ran out and the fragment is due again.
  bool AwaitAck(uint8_t flags, uint32_t size, bool* acked) {
    const int64_t deadline = NowMs() + kAckTimeoutMs;
    *acked = false;
    for (;;) {
      const int64_t left = deadline - NowMs();
      if (left <= 0 || !line_->Readable(int(left))) return true;
      uint8_t xid;
      PadpHeader h;
      std::vector<uint8_t> body;
      if (!ReadFrame(&xid, &h, &body, kAckTimeoutMs)) return false;
      if (h.type == kPadpTickle) continue;
      if (h.type == kPadpData && acked_.Is(xid, h)) {
        if (!Acknowledge(xid, h)) return false;
        continue;
      }
      if (h.type == kPadpAck && xid == xid_ && (h.flags != flags || h.size != size)) {
        continue;  // a late acknowledgement of an earlier fragment, resent
      }
      if (h.type != kPadpAck || xid != xid_) {
        return Fail("expected an acknowledgement, got PADP type " + std::to_string(h.type) +
                    " with transaction ID " + std::to_string(xid));
      }
      if (h.flags & kPadpMemoryError) {
        return Fail("the " + line_->peer() + " has no memory for the packet");
      }
      return *acked = true;
    }
  }

  // One whole message; checks its transaction ID against the side's rules.
  bool ReceiveMessage(std::vector<uint8_t>* message, int timeout_ms) {
    message->clear();
    bool started = false, withheld = false;
    uint32_t total = 0;
    uint8_t message_xid = 0;
    for (;;) {
      uint8_t xid;
      PadpHeader h;
      std::vector<uint8_t> body;
      if (!ReadFrame(&xid, &h, &body, timeout_ms)) return false;
      if (h.type == kPadpTickle) continue;
      if (h.type == kPadpAck) {
        if (xid == xid_) continue;  // a late second acknowledgement of a resent fragment
        return Fail("acknowledgement of nothing sent, transaction ID " + std::to_string(xid));
      }
      if (acked_.Is(xid, h)) {  // resent: our acknowledgement was lost (or withheld)
        if (!Acknowledge(xid, h)) return false;
        if (withheld) break;
        continue;
      }
      if (withheld) return Fail("expected the withheld fragment again");
      const size_t n = body.size() - h.header_size;
      if (!started) {
        if (!(h.flags & kPadpFirst)) return Fail("PADP fragment out of order");
        if (!XidFits(xid)) return false;
        started = true;
        total = h.size;
        message_xid = xid;
        if (opened_ && !desktop_) ++received_;
      } else if (h.flags & kPadpFirst || xid != message_xid || h.size != message->size()) {
        return Fail("PADP fragment out of order");
      }
      if (message->size() + n > total) return Fail("PADP fragments beyond the packet's length");
      message->insert(message->end(), body.begin() + long(h.header_size), body.end());
      const bool last = h.flags & kPadpLast;
      if (last != (message->size() == total)) return Fail("PADP packet ends at the wrong length");
      if (last && opened_ && !desktop_ && received_ == faults_.withhold_ack && !withholding_used_) {
        // Left unacknowledged once: the sender's time-out resends it, and that copy is
        // acknowledged.
        withholding_used_ = withheld = true;
        acked_ = {xid, h.flags, h.size, true};
        continue;
      }
      if (!Acknowledge(xid, h)) return false;
      if (last) break;
    }
    if (!desktop_) xid_ = message_xid;
    return true;
  }

  bool XidFits(uint8_t xid) {
    if (!opened_ && desktop_) {
      xid_ = xid;  // the wakeup's; the init answers with it
      return true;
    }
    if (desktop_ || !opened_) {
      return xid == xid_ || Fail("out-of-order transaction ID " + std::to_string(xid) +
                                 " in the answer to " + std::to_string(xid_));
    }
    return (xid != 0 && xid != xid_) || Fail("out-of-order transaction ID " + std::to_string(xid) +
                                             " after " + std::to_string(xid_));
  }

  std::unique_ptr<Line> line_;
  bool desktop_;
  Faults faults_;
  uint8_t xid_ = kOpeningXid;
  Fragment acked_;  // the last fragment acknowledged, to know it again when resent
  bool long_form_ = false;
  bool opened_ = false;
  bool withholding_used_ = false;
  int sent_ = 0, received_ = 0;
  bool dead_ = false;
  std::string error_;
};

}  // namespace

int OpenSerialLine(const std::string& device, std::string* error) {
  const int fd = TheOs().Open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0);
  termios t;
  if (fd < 0 || TheOs().TcGetAttr(fd, &t) != 0) {
    *error = "cannot open " + device + ": " + strerror(errno);
    if (fd >= 0) TheOs().Close(fd);
    return -1;
  }
  cfmakeraw(&t);
  t.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS | CSIZE);
  t.c_cflag |= CS8 | CLOCAL | CREAD;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  if (TheOs().CfSetSpeed(&t, B9600) != 0 || TheOs().TcSetAttr(fd, TCSANOW, &t) != 0) {
    *error = "cannot set up " + device + ": " + strerror(errno);
    TheOs().Close(fd);
    return -1;
  }
  return fd;
}

std::unique_ptr<PacketLink> AcceptSerialOn(std::unique_ptr<Line> line, int baud,
                                           std::string* error) {
  auto link = std::make_unique<SerialLink>(std::move(line), true, Faults{});
  if (link->Answer(baud)) return link;
  *error = link->error();
  return nullptr;
}

std::unique_ptr<PacketLink> AcceptSerial(int fd, int baud, std::string* error) {
  return AcceptSerialOn(std::make_unique<Line>(fd, "handheld"), baud, error);
}

std::unique_ptr<PacketLink> ConnectSerial(int fd, int max_baud, const Faults& faults,
                                          std::string* error) {
  auto link = std::make_unique<SerialLink>(std::make_unique<Line>(fd, "desktop"), false, faults);
  if (link->Open(max_baud)) return link;
  *error = link->error();
  return nullptr;
}

std::unique_ptr<PacketLink> AcceptOnLine(int fd, int baud, std::string* error) {
  auto line = std::make_unique<Line>(fd, "handheld");
  uint8_t first;
  if (!line->Read(&first, 1, kDefaultTimeoutMs, error)) return nullptr;
  line->Unread(&first, 1);
  if (first == kSlpSignature[0]) return AcceptSerialOn(std::move(line), baud, error);
  // A NetSync header's type, or the ritual's first byte sent without a header.
  if (first == 1 || first == 0x90) return AcceptNetSyncOn(std::move(line), error);
  *error = "unknown framing on the line: first byte " + Hex(first);
  return nullptr;
}

}  // namespace nb::link
