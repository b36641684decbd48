// NetSync frames from a peer: the header parser, then either side of a link reading the
// bytes as what the other side sent (the first byte chooses the side).
#include <memory>
#include <vector>

#include "hhlink/netsync.h"
#include "link_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  nb::link::NetSyncHeader header;
  std::string why;
  nb::link::ParseNetSyncHeader(data, size, &header, &why);
  if (size < 1) return 0;
  int peer;
  const int fd = LinkStream(data + 1, size - 1, &peer);
  if (fd < 0) return 0;
  const bool desktop = data[0] & 1;
  auto link = desktop ? nb::link::AcceptNetSync(fd, &why)
                      : nb::link::ConnectNetSync(fd, nb::link::Faults{}, &why);
  std::vector<uint8_t> packet;
  while (link && (!desktop || link->Send({0x10, 0})) && link->Receive(&packet, 1000)) {
  }
  link.reset();
  close(peer);
  return 0;
}
