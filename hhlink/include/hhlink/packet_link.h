// The link between a desktop and a handheld: a channel of whole DLP packets over a socket
// or a serial line, in one of the two framings a handheld speaks (netsync.h: TCP and USB
// cradles of newer handhelds; serial.h: SLP/PADP/CMP on serial cradles). The link owns
// its file descriptor and closes it.
//
// Every wait is bounded by a time-out. A frame that breaks the framing (bad checksum,
// length beyond what the protocol allows, unknown type) is never passed on: a link whose
// peer breaks the framing, times out or hangs up is dead, and error() says why; every
// later call fails at once.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace nb::link {

// The largest DLP packet either framing carries.
constexpr size_t kMaxPacket = 0x10000 + 64;
// How long a receive waits by default: a handheld answers within seconds or not at all.
constexpr int kDefaultTimeoutMs = 30000;

class PacketLink {
 public:
  virtual ~PacketLink() = default;
  // Sends one whole packet (at most kMaxPacket bytes).
  virtual bool Send(const std::vector<uint8_t>& packet) = 0;
  // Receives one whole packet, waiting at most timeout_ms.
  virtual bool Receive(std::vector<uint8_t>* packet, int timeout_ms = kDefaultTimeoutMs) = 0;
  // Keeps a waiting peer from timing out while no packet is due.
  virtual bool KeepAlive() = 0;
  virtual bool dead() const = 0;
  virtual const std::string& error() const = 0;
};

// Fault injection for the handheld simulator's tests: which of its outgoing packets
// (counted from 1 after the handshake) to mangle on the wire.
struct Faults {
  int corrupt_packet = 0;  // send this packet with a broken checksum or header
  int withhold_ack = 0;    // serial: do not acknowledge this received packet once
};

}  // namespace nb::link
