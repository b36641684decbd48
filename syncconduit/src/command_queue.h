// The conduit's side of the machine-wide command queue (syncutil): taking the next command
// whole, and where the queue stands. Neither fails; a block that is not mapped reads as an
// empty queue.
#pragma once

#include <cstdint>

#include "dispatch.h"

namespace conduit {

constexpr int kQueueSlots = 512;

// Takes the oldest command into *c; false when the queue is empty. Table commands get
// their plug-in name copied out of the slot, which a later enqueue may reuse.
bool TakeCommand(Command* c);

struct QueueState {
  int32_t read = -1;  // oldest command's slot, -1 when empty
  int32_t write = 0;  // slot the next command goes into
  int length = 0;
};
QueueState QueueNow();

}  // namespace conduit
