#include "hhlink/netsync.h"

#include <vector>

#include "accept.h"
#include "line.h"

namespace nb::link {
namespace {

// The ritual packets, as handhelds and desktops exchange them; their content is opaque
// beyond the leading command byte (the handheld's are the desktop's with 0x80 set).
constexpr uint8_t kRitual1[] = {0x90, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0x00,
                                0x00, 0x00, 0x08, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t kRitual2[] = {0x12, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20,
                                0x00, 0x00, 0x00, 0x24, 0xff, 0xff, 0xff, 0xff, 0x3c, 0x00,
                                0x3c, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                0xc0, 0xa8, 0xa5, 0x1f, 0x04, 0x27, 0x00, 0x00, 0x00, 0x00,
                                0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t kRitual2Answer[] = {0x92, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20,
                                      0x00, 0x00, 0x00, 0x24, 0xff, 0xff, 0xff, 0xff, 0x00, 0x3c,
                                      0x00, 0x3c, 0x40, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
                                      0xc0, 0xa8, 0xa5, 0x1e, 0x04, 0x01, 0x00, 0x00, 0x00, 0x00,
                                      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t kRitual3[] = {
    0x13, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00, 0x20, 0xff, 0xff,
    0xff, 0xff, 0x00, 0x3c, 0x00, 0x3c, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
constexpr uint8_t kRitual3Answer[] = {0x93, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
// The handheld opens with ID 255; the desktop's first request then takes 1.
constexpr uint8_t kRitualXid = 0xff;
// Ritual packets are small; a larger one is not a ritual.
constexpr uint32_t kMaxRitual = 256;

class NetSyncLink : public PacketLink {
 public:
  NetSyncLink(std::unique_ptr<Line> line, bool desktop, const Faults& faults)
      : line_(std::move(line)), desktop_(desktop), faults_(faults) {}

  bool Send(const std::vector<uint8_t>& packet) override {
    if (dead_) return false;
    if (packet.size() > kMaxPacket)
      return Fail("packet of " + std::to_string(packet.size()) +
                  " bytes is beyond what the link carries");
    if (desktop_) xid_ = xid_ >= 0xfe ? 1 : xid_ + 1;
    const bool corrupt = !desktop_ && ritual_done_ && ++sent_ == faults_.corrupt_packet;
    return Write(corrupt ? 0x7f : kNetSyncData, xid_, packet.data(), packet.size());
  }

  bool Receive(std::vector<uint8_t>* packet, int timeout_ms) override {
    if (dead_) return false;
    uint8_t xid;
    if (!ReadPacket(packet, &xid, timeout_ms, kMaxPacket)) return false;
    if (desktop_ && xid != xid_) {
      return Fail("out-of-order transaction ID " + std::to_string(xid) + " in the answer to " +
                  std::to_string(xid_));
    }
    if (!desktop_ && (xid == 0 || xid == xid_)) {
      return Fail("out-of-order transaction ID " + std::to_string(xid) + " after " +
                  std::to_string(xid_));
    }
    xid_ = xid;
    return true;
  }

  // A zero-length tickle frame: the receiving end skips it, as handhelds and desktops
  // do, so it keeps a waiting peer's time-out from running out without touching the
  // transaction IDs or the DLP exchange.
  bool KeepAlive() override { return !dead_ && Write(kNetSyncTickle, 0xff, nullptr, 0); }

  bool dead() const override { return dead_; }
  const std::string& error() const override { return error_; }

  // The desktop's half of the ritual.
  bool Answer() {
    std::vector<uint8_t> in;
    uint8_t xid;
    if (!ReadPacket(&in, &xid, kDefaultTimeoutMs, kMaxRitual, /*first=*/true) ||
        !Expect(in, 0x90) || !Write(kNetSyncData, xid, kRitual2, sizeof kRitual2) ||
        !ReadRitual(&in, xid, 0x92) || !Write(kNetSyncData, xid, kRitual3, sizeof kRitual3) ||
        !ReadRitual(&in, xid, 0x93)) {
      return false;
    }
    xid_ = xid;
    return ritual_done_ = true;
  }

  // The handheld's half.
  bool Open() {
    std::vector<uint8_t> in;
    xid_ = kRitualXid;
    if (!Write(kNetSyncData, xid_, kRitual1, sizeof kRitual1) || !ReadRitual(&in, xid_, 0x12) ||
        !Write(kNetSyncData, xid_, kRitual2Answer, sizeof kRitual2Answer) ||
        !ReadRitual(&in, xid_, 0x13) ||
        !Write(kNetSyncData, xid_, kRitual3Answer, sizeof kRitual3Answer)) {
      return false;
    }
    return ritual_done_ = true;
  }

 private:
  bool Fail(const std::string& why) {
    if (!dead_) error_ = "NetSync: " + why;
    dead_ = true;
    return false;
  }

  bool Write(uint8_t type, uint8_t xid, const uint8_t* data, size_t n) {
    std::vector<uint8_t> frame = {
        type, xid, uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)};
    frame.insert(frame.end(), data, data + n);
    std::string why;
    return line_->Write(frame, &why) || Fail(why);
  }

  // One data packet, tickles skipped. `first`: some handhelds send the ritual's first
  // packet without a header.
  bool ReadPacket(std::vector<uint8_t>* packet, uint8_t* xid, int timeout_ms, uint32_t max,
                  bool first = false) {
    uint8_t head[kNetSyncHeaderSize];
    std::string why;
    for (;;) {
      if (!line_->Read(head, sizeof head, timeout_ms, &why)) return Fail(why);
      if (first && head[0] == kRitual1[0]) {
        packet->assign(head, head + sizeof head);
        packet->resize(sizeof kRitual1);
        *xid = kRitualXid;
        return line_->Read(packet->data() + sizeof head, packet->size() - sizeof head, timeout_ms,
                           &why) ||
               Fail(why);
      }
      NetSyncHeader header;
      if (!ParseNetSyncHeader(head, sizeof head, &header, &why)) return Fail(why);
      if (header.type == kNetSyncTickle) continue;
      if (header.length > max) {
        return Fail("packet of " + std::to_string(header.length) + " bytes during the ritual");
      }
      packet->resize(header.length);
      *xid = header.xid;
      return line_->Read(packet->data(), packet->size(), timeout_ms, &why) || Fail(why);
    }
  }

  bool ReadRitual(std::vector<uint8_t>* in, uint8_t want_xid, uint8_t command) {
    uint8_t xid;
    if (!ReadPacket(in, &xid, kDefaultTimeoutMs, kMaxRitual) || !Expect(*in, command)) {
      return false;
    }
    return xid == want_xid ||
           Fail("out-of-order transaction ID " + std::to_string(xid) + " during the ritual");
  }

  bool Expect(const std::vector<uint8_t>& in, uint8_t command) {
    if (!in.empty() && in[0] == command) return true;
    return Fail("the " + line_->peer() + " broke the opening exchange");
  }

  std::unique_ptr<Line> line_;
  bool desktop_;
  Faults faults_;
  uint8_t xid_ = kRitualXid;
  int sent_ = 0;
  bool ritual_done_ = false;
  bool dead_ = false;
  std::string error_;
};

}  // namespace

bool ParseNetSyncHeader(const uint8_t* data, size_t n, NetSyncHeader* header, std::string* why) {
  if (n < kNetSyncHeaderSize) {
    *why = "header cut short";
    return false;
  }
  header->type = data[0];
  header->xid = data[1];
  header->length = uint32_t(data[2]) << 24 | uint32_t(data[3]) << 16 | uint32_t(data[4]) << 8 |
                   uint32_t(data[5]);
  if (header->type != kNetSyncData && header->type != kNetSyncTickle) {
    *why = "unknown packet type " + std::to_string(header->type);
    return false;
  }
  if (header->type == kNetSyncTickle && header->length != 0) {
    *why = "tickle carrying " + std::to_string(header->length) + " bytes";
    return false;
  }
  if (header->length > kMaxPacket) {
    *why =
        "packet of " + std::to_string(header->length) + " bytes is larger than the protocol allows";
    return false;
  }
  return true;
}

std::unique_ptr<PacketLink> AcceptNetSyncOn(std::unique_ptr<Line> line, std::string* error) {
  auto link = std::make_unique<NetSyncLink>(std::move(line), true, Faults{});
  if (link->Answer()) return link;
  *error = link->error();
  return nullptr;
}

std::unique_ptr<PacketLink> AcceptNetSync(int fd, std::string* error) {
  return AcceptNetSyncOn(std::make_unique<Line>(fd, "handheld"), error);
}

std::unique_ptr<PacketLink> ConnectNetSync(int fd, const Faults& faults, std::string* error) {
  auto link = std::make_unique<NetSyncLink>(std::make_unique<Line>(fd, "desktop"), false, faults);
  if (link->Open()) return link;
  *error = link->error();
  return nullptr;
}

}  // namespace nb::link
