// Temporary files of writes a killed process never finished: appraisal data files in the
// Inbox, the filtered common responses in the Outbox, and database files the conduit writes
// beside the tables, and tables whose replacement a killed conduit left pending. Each
// recovery is written to the error log; a file that cannot be removed stays, silently, for
// the next try.
#pragma once

namespace valtrix {

// With the instance lock held: no other valtrix writes the Inbox or the Outbox.
void RemoveUnfinishedExports();
// At the start of our synchronisation, before any table of ours is transferred.
void RemoveUnfinishedTableFiles();

}  // namespace valtrix
