// NetSync framing: DLP packets over TCP (port 14238) and over the USB cradles of newer
// handhelds. Each packet follows a 6-byte header: type (1 = data, 2 = tickle), transaction
// ID, and the payload length as a 32-bit big-endian number. A connection opens with the
// handheld's ritual exchange (three handheld packets, two desktop answers) before DLP.
//
// Transaction IDs: the desktop starts each request with the next ID (1..254, never 0 or
// 255) and the handheld answers with the ID of the request; an answer with another ID, a
// handheld request with ID 0 or the ID of the one before, kills the link.
//
// The accept and connect calls take ownership of `fd` (a connected socket, or a terminal
// for USB) and close it on failure; a null result has *error saying why.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "hhlink/packet_link.h"

namespace nb::link {

constexpr int kNetSyncPort = 14238;
constexpr size_t kNetSyncHeaderSize = 6;
constexpr uint8_t kNetSyncData = 1;
constexpr uint8_t kNetSyncTickle = 2;

struct NetSyncHeader {
  uint8_t type = 0;
  uint8_t xid = 0;
  uint32_t length = 0;
};

// Reads a header from `n` bytes (at least kNetSyncHeaderSize); false with *why for an
// unknown type, a length beyond kMaxPacket or a tickle that carries data.
bool ParseNetSyncHeader(const uint8_t* data, size_t n, NetSyncHeader* header, std::string* why);

// Desktop side: runs the ritual as the answering end.
std::unique_ptr<PacketLink> AcceptNetSync(int fd, std::string* error);
// Handheld side: opens the ritual; `faults` mangle outgoing packets for tests.
std::unique_ptr<PacketLink> ConnectNetSync(int fd, const Faults& faults, std::string* error);

// A listening TCP socket; `address` empty means 127.0.0.1, port 0 any free port. -1 with
// *error on failure.
int ListenTcp(const std::string& address, int port, std::string* error);
// The port a socket is bound to; -1 when unknown.
int BoundPort(int fd);
// The next connection on `listen_fd` within timeout_ms, its peer as "address:port" in
// *peer. -1 with *error on failure; on a time-out errno is ETIMEDOUT.
int AcceptConnection(int listen_fd, int timeout_ms, std::string* peer, std::string* error);
// A TCP connection to a numeric address or "localhost"; -1 with *error on failure.
int ConnectTcp(const std::string& host, int port, std::string* error);

}  // namespace nb::link
