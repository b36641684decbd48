// Every handheld access of the conduit goes through the current SyncOps table, every log
// line through the current LogSink. The HotSync implementation is bound from the HotSync
// libraries at the start of each synchronisation.
#pragma once

#include <cstdint>
#include <string>

#include "hotsync/log.h"
#include "hotsync/sync.h"

namespace conduit {

// Slot order is fixed: open, delete, create, close, write record, write app info, read
// user ID, reset sync flags, record count, purge deleted, read app info, read record by
// index, yield.
struct SyncOps {
  SyncOpenDBFn SyncOpenDB;
  SyncDeleteDBFn SyncDeleteDB;
  SyncCreateDBFn SyncCreateDB;
  SyncCloseDBFn SyncCloseDB;
  SyncWriteRecFn SyncWriteRec;
  SyncWriteDBAppInfoBlockFn SyncWriteDBAppInfoBlock;
  SyncReadUserIDFn SyncReadUserID;
  SyncResetSyncFlagsFn SyncResetSyncFlags;
  SyncGetDBRecordCountFn SyncGetDBRecordCount;
  SyncPurgeDeletedRecsFn SyncPurgeDeletedRecs;
  SyncReadDBAppInfoBlockFn SyncReadDBAppInfoBlock;
  SyncReadRecordByIndexFn SyncReadRecordByIndex;
  SyncYieldCyclesFn SyncYieldCycles;
};

using LogSink = void (*)(const char* text, int32_t activity, bool time_stamp);

// The current implementations.
const SyncOps& Ops();
void Log(const std::string& text, int32_t activity, bool time_stamp);
// Bound next to SyncOps; only the HotSync implementation has it.
SyncReadOpenDbInfoFn ReadOpenDbInfo();

// Makes the HotSync implementation of SyncOps current (bound by BindHotSync).
void UseHotSyncOps();
// Makes HotSync's LogAddEntry the log sink.
void UseHotSyncLog();

// The record transfer buffer: 64,512 bytes, reset at the start of each synchronisation.
constexpr uint32_t kTransferBufferSize = 0xFC00;
uint8_t* TransferBuffer();
void ResetTransferBuffer();

}  // namespace conduit
