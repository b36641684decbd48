// Installs what BindHotSync found (all null when released).
#pragma once

#include "sync_ops.h"

namespace conduit {
void SetHotSyncBindings(const SyncOps& ops, LogAddEntryFn log, SyncReadOpenDbInfoFn info);
}
