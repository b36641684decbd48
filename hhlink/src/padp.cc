#include "hhlink/padp.h"

#include "hhlink/packet_link.h"

namespace nb::link {

bool ParsePadpHeader(const uint8_t* data, size_t n, PadpHeader* header, std::string* why) {
  if (n < 4 || (data[1] & kPadpLongForm && n < 6)) {
    *why = "PADP header cut short";
    return false;
  }
  header->type = data[0];
  header->flags = data[1];
  if (header->flags & kPadpLongForm) {
    header->header_size = 6;
    header->size = uint32_t(data[2]) << 24 | uint32_t(data[3]) << 16 | uint32_t(data[4]) << 8 |
                   uint32_t(data[5]);
  } else {
    header->header_size = 4;
    header->size = uint32_t(data[2]) << 8 | data[3];
  }
  if (header->type != kPadpData && header->type != kPadpAck && header->type != kPadpTickle &&
      header->type != kPadpAbort) {
    *why = "unknown PADP packet type " + std::to_string(header->type);
    return false;
  }
  const size_t fragment = n - header->header_size;
  if (fragment > kPadpMaxFragment) {
    *why = "PADP fragment of " + std::to_string(fragment) +
           " bytes is larger than the protocol allows";
    return false;
  }
  if (header->type != kPadpData) return true;
  const bool first = header->flags & kPadpFirst, last = header->flags & kPadpLast;
  if (first && header->size > kMaxPacket) {
    *why = "PADP packet of " + std::to_string(header->size) +
           " bytes is larger than the protocol allows";
    return false;
  }
  if (first && (fragment > header->size || (last && fragment != header->size))) {
    *why = "PADP fragment does not fit the packet's length";
    return false;
  }
  if (!first && uint64_t(header->size) + fragment > kMaxPacket) {
    *why = "PADP fragment beyond the largest packet";
    return false;
  }
  return true;
}

std::vector<uint8_t> BuildPadp(uint8_t type, uint8_t flags, uint32_t size, const uint8_t* data,
                               size_t n) {
  std::vector<uint8_t> out = {type, flags};
  if (flags & kPadpLongForm) {
    out.insert(out.end(), {uint8_t(size >> 24), uint8_t(size >> 16)});
  }
  out.insert(out.end(), {uint8_t(size >> 8), uint8_t(size)});
  out.insert(out.end(), data, data + n);
  return out;
}

}  // namespace nb::link
