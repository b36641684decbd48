// The desktop's accepts on a line that may already hold bytes read ahead (AcceptOnLine).
#pragma once

#include <memory>
#include <string>

#include "hhlink/packet_link.h"
#include "line.h"

namespace nb::link {

std::unique_ptr<PacketLink> AcceptNetSyncOn(std::unique_ptr<Line> line, std::string* error);
std::unique_ptr<PacketLink> AcceptSerialOn(std::unique_ptr<Line> line, int baud,
                                           std::string* error);

}  // namespace nb::link
