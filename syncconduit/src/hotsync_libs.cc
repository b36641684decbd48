#include "hotsync_libs.h"

#include <sys/stat.h>

#include <string>

#include "bound.h"
#include "conduit_error.h"
#include "platform/library.h"
#include "platform/os.h"
#include "platform/prefix.h"
#include "syncutil/syncutil.h"

namespace conduit {
namespace {

void* g_log_lib = nullptr;
void* g_cmds_lib = nullptr;
void* g_sync_lib = nullptr;

void* Load(const char* name) {
  char dir[1040];
  NB_GetHotSyncDir(dir, sizeof dir);
  std::string folder = dir[0] ? dir : "C:\\Palm";
  struct stat st;
  if (nb::TheOs().Stat(nb::MapPath(folder).c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    ShowError("Cannot find: ", folder);
  if (folder.back() != '\\') folder += '\\';
  return nb::LoadLibrary(folder + name);
}

template <typename F>
bool Bind(F& slot, const char* name) {
  slot = reinterpret_cast<F>(nb::GetProcAddress(g_sync_lib, name));
  return slot != nullptr;
}

}  // namespace

bool BindHotSync() {
  g_log_lib = Load("HsLog20.dll");
  g_cmds_lib = Load("Cmds21.dll");
  g_sync_lib = Load("Sync20.dll");
  if (!g_cmds_lib) g_cmds_lib = Load("Cmds20.dll");

  SyncOps ops{};
  SyncReadOpenDbInfoFn info = nullptr;
  LogAddEntryFn log =
      g_log_lib ? reinterpret_cast<LogAddEntryFn>(nb::GetProcAddress(g_log_lib, "LogAddEntry"))
                : nullptr;
  bool ok = g_log_lib && g_cmds_lib && g_sync_lib && log && Bind(ops.SyncOpenDB, "SyncOpenDB") &&
            Bind(ops.SyncDeleteDB, "SyncDeleteDB") && Bind(ops.SyncCreateDB, "SyncCreateDB") &&
            Bind(ops.SyncCloseDB, "SyncCloseDB") && Bind(ops.SyncWriteRec, "SyncWriteRec") &&
            Bind(ops.SyncWriteDBAppInfoBlock, "SyncWriteDBAppInfoBlock") &&
            Bind(ops.SyncReadUserID, "SyncReadUserID") &&
            Bind(ops.SyncResetSyncFlags, "SyncResetSyncFlags") &&
            Bind(ops.SyncGetDBRecordCount, "SyncGetDBRecordCount") &&
            Bind(ops.SyncPurgeDeletedRecs, "SyncPurgeDeletedRecs") &&
            Bind(ops.SyncReadDBAppInfoBlock, "SyncReadDBAppInfoBlock") &&
            Bind(ops.SyncReadRecordByIndex, "SyncReadRecordByIndex") &&
            Bind(ops.SyncYieldCycles, "SyncYieldCycles") && Bind(info, "SyncReadOpenDbInfo");
  if (!ok) {
    ShowError("Error explicitly loading HotSync Dlls");
    return false;
  }
  SetHotSyncBindings(ops, log, info);
  return true;
}

void ReleaseHotSync() {
  SetHotSyncBindings(SyncOps{}, nullptr, nullptr);
  for (void** lib : {&g_log_lib, &g_cmds_lib, &g_sync_lib}) {
    if (*lib) nb::FreeLibrary(*lib);
    *lib = nullptr;
  }
}

}  // namespace conduit
