#include "sync_ops.h"

#include <cstdio>
#include <cstring>

#include "bound.h"
#include "local_writer.h"

namespace conduit {
namespace {

SyncOps g_hotsync_ops{};
const SyncOps* g_ops = &g_hotsync_ops;
LogAddEntryFn g_log_add_entry = nullptr;
SyncReadOpenDbInfoFn g_read_open_db_info = nullptr;
uint8_t g_transfer[kTransferBufferSize];

void HotSyncLog(const char* text, int32_t activity, bool time_stamp) {
  // Outside a synchronisation (PdbFileWriteTable called directly) there is no HotSync
  // log; the line still reaches a person.
  if (g_log_add_entry)
    g_log_add_entry(text, activity, time_stamp ? 1 : 0);
  else
    std::fprintf(stderr, "%s\n", text);
}
LogSink g_log = HotSyncLog;

}  // namespace

const SyncOps& Ops() { return *g_ops; }
void Log(const std::string& text, int32_t activity, bool time_stamp) {
  g_log(text.c_str(), activity, time_stamp);
}
SyncReadOpenDbInfoFn ReadOpenDbInfo() {
  return g_ops == &LocalWriterOps() ? LocalReadOpenDbInfo : g_read_open_db_info;
}
void UseHotSyncOps() { g_ops = &g_hotsync_ops; }
void UseHotSync() {
  g_ops = &g_hotsync_ops;
  g_log = HotSyncLog;
}
void UseLocalWriter(const std::string& folder) {
  SetLocalWriterFolder(folder);
  g_ops = &LocalWriterOps();
  g_log = LocalWriterLog;
}

uint8_t* TransferBuffer() { return g_transfer; }
void ResetTransferBuffer() { std::memset(g_transfer, 0, sizeof g_transfer); }

void SetHotSyncBindings(const SyncOps& ops, LogAddEntryFn log, SyncReadOpenDbInfoFn info) {
  g_hotsync_ops = ops;
  g_log_add_entry = log;
  g_read_open_db_info = info;
}

}  // namespace conduit
