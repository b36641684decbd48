// What the program brings to the disk before it goes on, so that a power cut loses nothing a
// later step counts on. Failures throw std::runtime_error naming the folder or table.
#pragma once

#include "globals.h"

namespace valtrix {

// Creates System, Outbox and Inbox where missing, each durably: a folder lost to a power
// cut would take the files written into it along.
void CreateFolders(const Folders& folders);

// Brings the tables changed in place to the disk: before a file that brought their rows
// leaves the Outbox, and before a stage is reported done.
void SyncTables();

}  // namespace valtrix
