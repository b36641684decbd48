// A synchronisation killed while it ran commands leaves them in the queue. Run at the start
// of the next one they would write tables of the desktop's older state over a handheld
// that may have changed since. BeginCommands marks the run (a file in the runtime folder
// holding this process's ID) and, when the mark of a dead run is found, takes that run's
// table transfers out of the queue (other commands stay, in order) and logs it; EndCommands
// removes the mark. Never fails: a mark that cannot be written only loses the protection.
#pragma once

namespace conduit {

void BeginCommands();
void EndCommands();

}  // namespace conduit
