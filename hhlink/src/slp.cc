#include "hhlink/slp.h"

namespace nb::link {

uint16_t Crc16Ccitt(const uint8_t* data, size_t n, uint16_t crc) {
  for (size_t i = 0; i < n; ++i) {
    crc ^= uint16_t(data[i]) << 8;
    for (int bit = 0; bit < 8; ++bit) crc = crc & 0x8000 ? uint16_t(crc << 1 ^ 0x1021) : crc << 1;
  }
  return crc;
}

bool ParseSlpHeader(const uint8_t* data, size_t n, SlpHeader* header, std::string* why) {
  if (n < kSlpHeaderSize) {
    *why = "SLP frame cut short";
    return false;
  }
  if (data[0] != kSlpSignature[0] || data[1] != kSlpSignature[1] || data[2] != kSlpSignature[2]) {
    *why = "SLP signature missing";
    return false;
  }
  uint8_t sum = 0;
  for (size_t i = 0; i < kSlpHeaderSize - 1; ++i) sum = uint8_t(sum + data[i]);
  if (sum != data[9]) {
    *why = "bad SLP header checksum";
    return false;
  }
  header->dest = data[3];
  header->src = data[4];
  header->type = data[5];
  header->size = uint16_t(data[6] << 8 | data[7]);
  header->xid = data[8];
  if (header->dest != kSlpSocketDlp || header->src != kSlpSocketDlp) {
    *why = "SLP frame between sockets " + std::to_string(header->src) + " and " +
           std::to_string(header->dest) + ", not DLP's";
    return false;
  }
  if (header->type != kSlpTypePadp) {
    *why = "unknown SLP packet type " + std::to_string(header->type);
    return false;
  }
  if (header->size > kSlpMaxBody) {
    *why = "SLP frame of " + std::to_string(header->size) +
           " bytes is larger than the protocol allows";
    return false;
  }
  return true;
}

bool ParseSlpFrame(const uint8_t* data, size_t n, SlpHeader* header, std::vector<uint8_t>* body,
                   std::string* why) {
  if (!ParseSlpHeader(data, n, header, why)) return false;
  if (n != kSlpHeaderSize + header->size + kSlpCrcSize) {
    *why = "SLP frame length does not match its header";
    return false;
  }
  const size_t end = kSlpHeaderSize + header->size;
  if (Crc16Ccitt(data, end) != uint16_t(data[end] << 8 | data[end + 1])) {
    *why = "bad SLP frame CRC";
    return false;
  }
  body->assign(data + kSlpHeaderSize, data + end);
  return true;
}

std::vector<uint8_t> BuildSlpFrame(SlpHeader header, const std::vector<uint8_t>& body) {
  const size_t n = body.size();
  std::vector<uint8_t> frame = {
      kSlpSignature[0], kSlpSignature[1], kSlpSignature[2], header.dest, header.src,
      header.type,      uint8_t(n >> 8),  uint8_t(n),       header.xid,  0};
  for (size_t i = 0; i < kSlpHeaderSize - 1; ++i) frame[9] = uint8_t(frame[9] + frame[i]);
  frame.insert(frame.end(), body.begin(), body.end());
  const uint16_t crc = Crc16Ccitt(frame.data(), frame.size());
  frame.push_back(uint8_t(crc >> 8));
  frame.push_back(uint8_t(crc));
  return frame;
}

}  // namespace nb::link
