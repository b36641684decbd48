// Every handheld access of the conduit goes through the current SyncOps table, every log
// line through the current LogSink. Two implementations exist: HotSync's, bound from the
// HotSync libraries at the start of each synchronisation (current at load), and the local
// database-file writer (local_writer.h), which writes databases as desktop files.
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
// Goes with the current SyncOps (bound next to them, not one of their slots).
SyncReadOpenDbInfoFn ReadOpenDbInfo();

// Makes HotSync's SyncOps current, leaving the LogSink as it is (start of a
// synchronisation).
void UseHotSyncOps();
// Makes HotSync's SyncOps and LogAddEntry current (application downloads).
void UseHotSync();
// Makes the local writer current for both; closed databases go into the Windows folder.
void UseLocalWriter(const std::string& folder);

// The record transfer buffer: 64,512 bytes, reset at the start of each synchronisation
// and of each local file write.
constexpr uint32_t kTransferBufferSize = 0xFC00;
uint8_t* TransferBuffer();
void ResetTransferBuffer();

}  // namespace conduit
