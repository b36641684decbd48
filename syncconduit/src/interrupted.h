// A synchronisation killed while it ran commands leaves them in the queue. Run at the start
// of the next one, the table transfers that desktop programs queued in answer to its
// notifications would write tables of the desktop's older state over a handheld that may
// have changed since; commands queued before it or after its end are requests of their own.
//
// The run keeps a mark (run/syncconduit.running): its process ID and which queued commands
// are its own, the `count` slots before slot `end`. From before a notification until the
// next command is taken the mark is open: whatever is queued after `end` is presumed its
// own too, as a handler may still be queueing when the run is killed. AfterNotification
// counts what was queued meanwhile; AfterTake, called also when the queue turned out
// empty, closes the mark. The mark is written durably once, then changed in place.
// BeginCommands, finding the mark of a dead run, takes that run's own table transfers out
// of the queue (everything else stays, in order) and logs it; EndCommands removes the mark
// of a run that began. Never fails: a mark that cannot be written only loses the
// protection, said on stderr.
#pragma once

namespace conduit {

void BeginCommands();
void BeforeNotification();
void AfterNotification();
void AfterTake();
void EndCommands();

}  // namespace conduit
