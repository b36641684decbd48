// Serial frames from a peer: the SLP, PADP and CMP parsers, then either side of a link
// reading the bytes as what the other side sent (the first byte chooses the side, or the
// line detection).
#include <memory>
#include <vector>

#include "hhlink/cmp.h"
#include "hhlink/padp.h"
#include "hhlink/serial.h"
#include "hhlink/slp.h"
#include "link_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  nb::link::SlpHeader slp;
  nb::link::PadpHeader padp;
  nb::link::CmpPacket cmp;
  std::vector<uint8_t> body;
  std::string why;
  nb::link::ParseSlpFrame(data, size, &slp, &body, &why);
  nb::link::ParsePadpHeader(data, size, &padp, &why);
  nb::link::ParseCmp(data, size, &cmp, &why);
  if (size < 1) return 0;
  int peer;
  const int fd = LinkStream(data + 1, size - 1, &peer);
  if (fd < 0) return 0;
  std::unique_ptr<nb::link::PacketLink> link;
  switch (data[0] % 3) {
    case 0:
      link = nb::link::AcceptSerial(fd, 115200, &why);
      break;
    case 1:
      link = nb::link::ConnectSerial(fd, 115200, nb::link::Faults{}, &why);
      break;
    default:
      link = nb::link::AcceptOnLine(fd, 115200, &why);
  }
  std::vector<uint8_t> packet;
  while (link && link->Receive(&packet, 1000)) {
  }
  link.reset();
  close(peer);
  return 0;
}
