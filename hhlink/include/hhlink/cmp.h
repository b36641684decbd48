// CMP, the connection management protocol that opens a serial link: the handheld wakes
// the desktop at 9600 baud with a wakeup naming the fastest speed it can do; the desktop
// answers with an init naming the speed to use (flag 0x80: change speed), or an abort.
// Ten bytes, big-endian: type, flags, version (major.minor), two reserved, speed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace nb::link {

constexpr uint8_t kCmpWakeup = 1;
constexpr uint8_t kCmpInit = 2;
constexpr uint8_t kCmpAbort = 3;
constexpr uint8_t kCmpChangeSpeed = 0x80;
constexpr uint8_t kCmpLongPackets = 0x10;   // long-form PADP headers understood
constexpr uint8_t kCmpAbortVersion = 0x80;  // abort's flags: incompatible version
constexpr uint16_t kCmpVersion = 0x0101;
constexpr size_t kCmpSize = 10;

struct CmpPacket {
  uint8_t type = kCmpWakeup;
  uint8_t flags = 0;
  uint16_t version = kCmpVersion;
  uint32_t baud = 9600;
};

// Exactly kCmpSize bytes of a known type.
bool ParseCmp(const uint8_t* data, size_t n, CmpPacket* packet, std::string* why);
std::vector<uint8_t> BuildCmp(const CmpPacket& packet);

}  // namespace nb::link
