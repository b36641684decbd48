// The handheld's side of a link, for the handheld simulator: takes DLP requests from the
// link one at a time, has the Handheld carry each out and sends its answer. A request that
// cannot be decoded is answered with an error (kErrIllegalRequest for a function this
// system does not speak, kErrArgMissing for a missing argument, kErrParam for a malformed
// packet or argument), never a crash. The CloseDB "close all" form closes every database
// this server opened or created and has not closed. FindDB is answered by open handle
// only (by name or by type gives kErrNotSupported), ReadRecord by index only.
#pragma once

#include <string>

#include "dlp/handheld.h"
#include "hhlink/packet_link.h"

namespace nb::dlp {

struct ServeOptions {
  // When request number drop_after (counted from 1) arrives, end without answering it, as
  // a handheld taken out of its cradle would; 0: never.
  int drop_after = 0;
};

enum class ServeEnd {
  kEndOfSync,  // EndOfSync was answered
  kLinkLost,   // the link died or timed out; why says so
  kDropped,    // request number drop_after arrived
};

// Serves until the end; the caller closes the link afterwards.
ServeEnd Serve(nb::link::PacketLink& link, Handheld& handheld, const ServeOptions& options,
               std::string* why);

}  // namespace nb::dlp
