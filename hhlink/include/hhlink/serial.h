// The serial framing: DLP packets as PADP over SLP on a serial line, opened by CMP at
// 9600 baud. The accept and connect calls take ownership of `fd` and close it on failure;
// a null result has *error saying why.
//
// Transaction IDs: the desktop starts each request with the next ID (1..254) and the
// handheld answers and acknowledges with the request's ID; the CMP exchange uses 255.
// A sender waits for the acknowledgement of each fragment and resends it a few times on
// a time-out before the link is given up; a receiver acknowledges a resent fragment
// again and keeps one copy.
#pragma once

#include <memory>
#include <string>

#include "hhlink/packet_link.h"

namespace nb::link {

// How long a sender waits for an acknowledgement, and how often it tries.
constexpr int kAckTimeoutMs = 2000;
constexpr int kSendTries = 5;

// The serial device raw, 8N1 at 9600 baud; -1 with *error.
int OpenSerialLine(const std::string& device, std::string* error);
// Desktop: waits for the handheld's CMP wakeup, answers with the speed (the lower of
// `baud` and the handheld's), then switches the line to it.
std::unique_ptr<PacketLink> AcceptSerial(int fd, int baud, std::string* error);
// Handheld: wakes the desktop offering `max_baud` and switches to the speed it names.
std::unique_ptr<PacketLink> ConnectSerial(int fd, int max_baud, const Faults& faults,
                                          std::string* error);
// Desktop: waits up to kDefaultTimeoutMs for the first byte (poll the line first to wait
// longer), tells from it whether the handheld speaks SLP (0xBE) or NetSync framing (USB
// cradles; 0x01, or 0x90 from those that send the first packet without its header), and
// accepts accordingly.
std::unique_ptr<PacketLink> AcceptOnLine(int fd, int baud, std::string* error);

}  // namespace nb::link
