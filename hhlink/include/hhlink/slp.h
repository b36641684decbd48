// SLP, the serial packet layer: every frame on a serial line is a 10-byte header
// (signature BE EF ED, destination and source socket, type, 16-bit big-endian body size,
// transaction ID, and a checksum: the sum of the nine bytes before it, mod 256), the body,
// and a CRC-16 (CCITT, big-endian) over header and body. DLP travels between sockets 3 as
// PADP (type 2). Pure functions; a refusal says why in *why.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace nb::link {

constexpr size_t kSlpHeaderSize = 10;
constexpr size_t kSlpCrcSize = 2;
constexpr uint8_t kSlpSignature[3] = {0xBE, 0xEF, 0xED};
constexpr uint8_t kSlpSocketDlp = 3;
constexpr uint8_t kSlpTypePadp = 2;
// A PADP fragment with its long header: the most a frame's body holds.
constexpr size_t kSlpMaxBody = 6 + 1024;

struct SlpHeader {
  uint8_t dest = kSlpSocketDlp;
  uint8_t src = kSlpSocketDlp;
  uint8_t type = kSlpTypePadp;
  uint16_t size = 0;
  uint8_t xid = 0;
};

uint16_t Crc16Ccitt(const uint8_t* data, size_t n, uint16_t crc = 0);
// The header in the first kSlpHeaderSize of `n` bytes: signature, checksum, sockets,
// type and size checked.
bool ParseSlpHeader(const uint8_t* data, size_t n, SlpHeader* header, std::string* why);
// A whole frame of exactly `n` bytes: the header as above, then the body and its CRC.
bool ParseSlpFrame(const uint8_t* data, size_t n, SlpHeader* header, std::vector<uint8_t>* body,
                   std::string* why);
// A frame around `body` (its size is set from it).
std::vector<uint8_t> BuildSlpFrame(SlpHeader header, const std::vector<uint8_t>& body);

}  // namespace nb::link
