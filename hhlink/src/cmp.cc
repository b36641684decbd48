#include "hhlink/cmp.h"

namespace nb::link {

bool ParseCmp(const uint8_t* data, size_t n, CmpPacket* packet, std::string* why) {
  if (n != kCmpSize) {
    *why = "CMP packet of " + std::to_string(n) + " bytes, not " + std::to_string(kCmpSize);
    return false;
  }
  packet->type = data[0];
  packet->flags = data[1];
  packet->version = uint16_t(data[2] << 8 | data[3]);
  packet->baud = uint32_t(data[6]) << 24 | uint32_t(data[7]) << 16 | uint32_t(data[8]) << 8 |
                 uint32_t(data[9]);
  if (packet->type != kCmpWakeup && packet->type != kCmpInit && packet->type != kCmpAbort) {
    *why = "unknown CMP packet type " + std::to_string(packet->type);
    return false;
  }
  return true;
}

std::vector<uint8_t> BuildCmp(const CmpPacket& p) {
  return {p.type,
          p.flags,
          uint8_t(p.version >> 8),
          uint8_t(p.version),
          0,
          0,
          uint8_t(p.baud >> 24),
          uint8_t(p.baud >> 16),
          uint8_t(p.baud >> 8),
          uint8_t(p.baud)};
}

}  // namespace nb::link
