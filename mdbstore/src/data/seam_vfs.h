// SQLite's file calls through the OS seam, so a fault set with NB_FAULT reaches a database
// or journal file as it reaches any other file of the programs. The unix VFS opens, reads,
// writes, truncates, stats and deletes through nb::TheOs() (its replaceable system calls);
// the VFS "nbseam" wraps it and syncs a file (and the folder of a new journal, and of a
// journal removed with a folder sync) through nb::TheOs() before the unix VFS's own sync,
// and leaves locking and shared memory to it.
//
// Set up once per process, on the first call; undone when this library is unloaded, so
// SQLite, which may stay loaded, never calls into code that is gone.
#pragma once

namespace mdb::data {

// The VFS's name for sqlite3_open_v2; null when SQLite has no unix VFS to wrap (its
// default VFS is used then, outside the seam).
const char* SeamVfs();

}  // namespace mdb::data
