// One synchronisation: read the runtime's directory on the handheld, tell desktop
// programs, run every queued command, tell them how it went.
#include <unistd.h>

#include <cstring>

#include "command_queue.h"
#include "conduit_error.h"
#include "dispatch.h"
#include "hotsync_libs.h"
#include "interrupted.h"
#include "pdbfile/bytes.h"
#include "platform/bus.h"
#include "sync_ops.h"
#include "syncconduit/syncconduit.h"
#include "syncutil/syncutil.h"

namespace conduit {
namespace {

constexpr char kDirectoryDb[] = "NB-EE_SysHeap";
constexpr size_t kDirectoryBlockSize = 26;
constexpr uint16_t kDirectoryVersion = 0x0210;

// Broadcast and hold while a desktop program has raised the wait flag, keeping the
// handheld link alive.
void Notify(uint32_t code, int32_t param) {
  NB_SetWaitFlag(0);
  nb::bus::Broadcast(NB_GetRegisteredMsg(), code, param);
  while (NB_GetWaitFlag() != 0) {
    usleep(500 * 1000);
    Ops().SyncYieldCycles(10);
  }
}

struct Directory {
  uint8_t block[kDirectoryBlockSize] = {'N', 'B', 'D', 'R', 0x02, 0x10};
  uint32_t user_id = 0;
};

// False when the directory cannot be read: the synchronisation then runs no command.
bool ReadDirectory(Directory* dir) {
  uint8_t handle = 0;
  if (Ops().SyncOpenDB(kDirectoryDb, 0, &handle,
                       kSyncModeRead | kSyncModeWrite | kSyncModeExclusive) != 0)
    return false;
  uint8_t block[kDirectoryBlockSize] = {};
  SyncBlock info{block, sizeof block, 0};
  // A block too short to hold the version and user ID is as unreadable as a missing one.
  if (Ops().SyncReadDBAppInfoBlock(handle, &info) != 0 || info.size < 10) {
    ShowError(1120);
    Ops().SyncCloseDB(handle);
    return false;
  }
  std::memcpy(dir->block, block, sizeof block);
  uint16_t version = nb::pdb::Get16(block + 4);
  dir->user_id = version < 0x0102 ? 0 : nb::pdb::Get32(block + 6);
  nb::pdb::Set16(dir->block + 4, kDirectoryVersion);
  Ops().SyncCloseDB(handle);
  return true;
}

int RunCommands() {
  int result = 1;
  Command c;
  for (;;) {
    const bool taken = TakeCommand(&c);
    AfterTake();
    if (!taken) break;
    int r = Dispatch(c);
    BeforeNotification();
    Notify(kCommandDone, r);
    AfterNotification();
    result = result && r;
  }
  return result;
}

}  // namespace
}  // namespace conduit

NB_CONDUIT_API long OpenConduit(ProgressCallbackFn, HsSyncProperties* properties) {
  using namespace conduit;
  if (!BindHotSync()) {
    ReleaseHotSync();
    return kConduitFailed;
  }
  UseHotSyncOps();
  Log("", 19, false);

  int result = 0;
  Directory dir;
  if (ReadDirectory(&dir)) {
    NB_SetUserName(properties ? properties->user_name : "");
    NB_SetUserID(dir.user_id);
    NB_SetCreatorId(properties ? properties->creator : 0);
    SyncUserInfo user{};
    Ops().SyncReadUserID(&user);
    NB_SetHotSyncUserId(user.user_id);
    BeginCommands();
    BeforeNotification();
    Notify(kSyncStarted, 0);
    AfterNotification();
    ResetTransferBuffer();
    result = RunCommands();
  }
  Notify(kSyncFinished, result);
  EndCommands();
  NB_SetHotSyncUserId(0);
  Log("Nimbra EE", result == 1 ? 20 : 21, false);
  ReleaseHotSync();
  return result == 1 ? kConduitOk : kConduitFailed;
}
