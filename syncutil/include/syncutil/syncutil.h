// The exports of libsyncutil: the machine-wide command queue with its notifications,
// the current-command fields and wait flag, the HotSync environment, users and the
// install queue. Strings are 8-bit. Copy-out exports zero-fill all `size` bytes, copy at
// most size-1 characters and return the full length of the value.
// Loading the library touches nothing: it starts (maps the shared block, reads the HotSync
// environment, with a box when the runtime is not installed, and registers the IPC
// message) at the first call of an export that needs the block or the environment.
#pragma once

#include <cstddef>
#include <cstdint>

#define NB_SYNCUTIL_API extern "C" __attribute__((visibility("default")))

// Command types of the queue.
enum : uint32_t {
  kCmdNone = 0,
  kCmdDownloadApp = 1,
  kCmdDeletePilotApp = 2,
  kCmdDownloadTable = 3,
  kCmdUploadTable = 4,
  kCmdDeletePilotTable = 5,
  kCmdNoOperation = 6,
  kCmdDownloadAppForCreator = 7,
  kCmdDownloadTableForCreator = 8,
  kCmdInstallFile = 9,
  kCmdPdbFileWriteDocument = 10,
  kCmdPdbFileWriteTable = 11,
};

// Notification codes (first message parameter of the IPC message).
enum : uint32_t { kSyncStarted = 1, kSyncFinished = 2, kCommandDone = 3 };

// A HotSync user as handed to callers of the user exports.
struct UserRecord {
  uint32_t id;
  char name[32];
  char folder[260];
  uint16_t extra;
};
static_assert(offsetof(UserRecord, name) == 4 && offsetof(UserRecord, folder) == 36 &&
              offsetof(UserRecord, extra) == 296);

// Queue.
NB_SYNCUTIL_API int NB_AddToCommandQueueEx(uint32_t type, const char* fileName, uint32_t creatorId,
                                           const char* pluginName, uint32_t param1, uint32_t param2,
                                           uint32_t param3);
NB_SYNCUTIL_API int NB_AddToCommandQueue(uint32_t type, const char* fileName);
// pluginName receives, for types 3, 4 and 8, a pointer into the shared record (valid
// until the slot is reused); for other types the stored plug-in reference word.
NB_SYNCUTIL_API int NB_GetNextCommandEx(uint32_t* type, char* fileName, size_t fileNameSize,
                                        uint32_t* creatorId, const char** pluginName,
                                        uint32_t* param1, uint32_t* param2, uint32_t* param3);
NB_SYNCUTIL_API int NB_GetNextCommand(uint32_t* type, char* fileName, size_t fileNameSize);
// Where the queue stands, read together under the queue lock and changing nothing: the
// oldest command's slot (-1 when empty) and the slot the next one goes into. Lets a
// consumer tell commands queued up to a moment from later ones. 0 when the block is not
// mapped (outputs untouched); a null output is skipped.
NB_SYNCUTIL_API int NB_GetQueuePositions(int32_t* readIndex, int32_t* writeIndex);
// Takes back the newest queued command of this type, file name and creator that the
// conduit has not taken yet; the others keep their order. 1 when one was taken back, 0
// when there is none (or the block is not mapped). Lets a producer whose run failed leave
// the queue as it found it.
NB_SYNCUTIL_API int NB_RemoveQueuedCommand(uint32_t type, const char* fileName, uint32_t creatorId);
// 0 all commands succeeded, 1 one failed, 2 aborted (the queue is emptied).
NB_SYNCUTIL_API int NB_FlushCommandQueueEx(const char* title, uint32_t creatorId);
NB_SYNCUTIL_API int NB_FlushCommandQueue(const char* title);

// Current-command fields.
NB_SYNCUTIL_API size_t NB_GetUserName(char* dest, size_t size);
NB_SYNCUTIL_API const char* NB_SetUserName(const char* name);
NB_SYNCUTIL_API size_t NB_GetCmdFilename(char* dest, size_t size);
NB_SYNCUTIL_API const char* NB_SetCmdFilename(const char* name);
NB_SYNCUTIL_API uint32_t NB_GetCmdType();
NB_SYNCUTIL_API uint32_t NB_SetCmdType(uint32_t type);
NB_SYNCUTIL_API uint32_t NB_GetUserID();
NB_SYNCUTIL_API uint32_t NB_SetUserID(uint32_t id);
NB_SYNCUTIL_API uint32_t NB_GetCreatorId();
NB_SYNCUTIL_API uint32_t NB_SetCreatorId(uint32_t id);
NB_SYNCUTIL_API uint32_t NB_SetHotSyncUserId(uint32_t id);

// Wait flag and message.
NB_SYNCUTIL_API int32_t NB_GetWaitFlag();
NB_SYNCUTIL_API int32_t NB_SetWaitFlag(int32_t value);
NB_SYNCUTIL_API int32_t NB_IncWaitFlag();
NB_SYNCUTIL_API int32_t NB_DecWaitFlag();
NB_SYNCUTIL_API uint16_t NB_GetRegisteredMsg();
// `window` is a bus window (nb::bus::Window*); the target posts the IPC message to it.
NB_SYNCUTIL_API void* NB_CreateMsgTarget(void* window);
NB_SYNCUTIL_API void NB_DeleteMsgTarget(void* target);

// Environment.
NB_SYNCUTIL_API size_t NB_GetNimbraDir(char* dest, size_t size);
NB_SYNCUTIL_API size_t NB_GetVeltroDir(char* dest, size_t size);
NB_SYNCUTIL_API size_t NB_GetPalmKey(char* dest, size_t size);
NB_SYNCUTIL_API size_t NB_GetHotSyncDir(char* dest, size_t size);
NB_SYNCUTIL_API size_t NB_GetHotSyncDataDir(char* dest, size_t size);
NB_SYNCUTIL_API size_t NB_GetHotSyncPath(char* dest, size_t size);
NB_SYNCUTIL_API uint32_t NB_GetHotSyncVersion();

// Users (results of the HotSync user manager; non-zero is success).
NB_SYNCUTIL_API int NB_FindFirstUser(UserRecord* record, int* cursor);
NB_SYNCUTIL_API int NB_FindNextUser(UserRecord* record, int* cursor);
NB_SYNCUTIL_API int NB_FindUserByID(uint32_t id, UserRecord* record, int extra);
NB_SYNCUTIL_API int NB_AddUser(UserRecord* record, int extra);
NB_SYNCUTIL_API int NB_DeleteUser(uint32_t id, int flags);
NB_SYNCUTIL_API int NB_RenameUser(uint32_t id, const char* newName, int flags);
NB_SYNCUTIL_API int NB_CommitUserChanges(int flags);
NB_SYNCUTIL_API int NB_AbandonUserChanges(int* errorOut);
NB_SYNCUTIL_API int NB_UserMaintenance();

// Install queue.
NB_SYNCUTIL_API int NB_InstallPRC(uint32_t userId, const char* sourcePath);
NB_SYNCUTIL_API int NB_CheckInstallPending(uint32_t userId);
