// The local database-file writer: the second implementation of SyncOps and LogSink. It
// holds one database at a time in memory (handle 255) and, when that database is closed,
// writes it as a handheld database file into a desktop folder: "<name>.PRC" for a resource
// database, "<name>.PDB" otherwise, replacing a file of that name whole.
// Open and delete fail with 16387, a file that cannot be written with 16388 (said in a
// "PDB FILE" box too), a record or block that cannot be kept with 16397; what a file on
// the desktop cannot answer (user ID, record count, reads, purge, yield) is said in a
// "PDB FILE" box and fails with 16409. Bad handles and arguments get HotSync's codes.
#pragma once

#include <string>

#include "sync_ops.h"

namespace conduit {

constexpr uint8_t kLocalHandle = 255;
enum : int32_t {
  kLocalErrOpen = 16387,
  kLocalErrWrite = 16388,
  kLocalErrNoMemory = 16397,
  kLocalErrNotImplemented = 16409,
};

const SyncOps& LocalWriterOps();
int32_t LocalReadOpenDbInfo(uint8_t handle, SyncDbInfo* info);
// Shows the text in a message box captioned "PDB FILE".
void LocalWriterLog(const char* text, int32_t activity, bool time_stamp);
// The Windows folder closed databases are written into; drops a database still held.
void SetLocalWriterFolder(const std::string& folder);

}  // namespace conduit
