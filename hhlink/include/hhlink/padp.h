// PADP, the packet assembly protocol on top of SLP: a DLP packet goes in fragments of at
// most 1024 bytes, each acknowledged by the receiver (an ack echoes the fragment's flags
// and size under the same transaction ID). Header: type, flags, then a 16-bit size, or a
// 32-bit one when the long-form flag is set. On the first fragment the size is the whole
// packet's length, on the others the fragment's offset. Pure functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace nb::link {

constexpr uint8_t kPadpData = 1;
constexpr uint8_t kPadpAck = 2;
constexpr uint8_t kPadpTickle = 4;
constexpr uint8_t kPadpAbort = 8;
constexpr uint8_t kPadpFirst = 0x80;
constexpr uint8_t kPadpLast = 0x40;
constexpr uint8_t kPadpMemoryError = 0x20;
constexpr uint8_t kPadpLongForm = 0x10;
constexpr size_t kPadpMaxFragment = 1024;

struct PadpHeader {
  uint8_t type = kPadpData;
  uint8_t flags = 0;
  uint32_t size = 0;
  size_t header_size = 4;  // 6 in long form
};

// A PADP packet of `n` bytes (header and fragment): known type, fragment within 1024
// bytes, and for data a size that fits the fragment (a first fragment no longer than the
// packet, a last one ending it).
bool ParsePadpHeader(const uint8_t* data, size_t n, PadpHeader* header, std::string* why);
std::vector<uint8_t> BuildPadp(uint8_t type, uint8_t flags, uint32_t size, const uint8_t* data,
                               size_t n);

}  // namespace nb::link
