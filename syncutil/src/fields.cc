// Current-command fields, the wait flag and the registered message id: plain reads and
// writes of the shared block, except the atomic wait-flag counter.
#include "shared_block.h"
#include "syncutil/syncutil.h"

using syncutil::Block;

namespace {

syncutil::SharedBlock g_unmapped{};  // keeps getters safe when the block is missing

syncutil::SharedBlock& B() {
  syncutil::SharedBlock* b = Block();
  return b ? *b : g_unmapped;
}

}  // namespace

NB_SYNCUTIL_API size_t NB_GetUserName(char* dest, size_t size) {
  char copy[sizeof B().user_name + 1] = {};
  syncutil::CopyIn(copy, sizeof copy, B().user_name);
  return syncutil::CopyOut(dest, size, copy);
}

NB_SYNCUTIL_API const char* NB_SetUserName(const char* name) {
  syncutil::CopyIn(B().user_name, sizeof B().user_name, name);
  return name;
}

NB_SYNCUTIL_API size_t NB_GetCmdFilename(char* dest, size_t size) {
  char copy[sizeof B().cmd_file_name + 1] = {};
  syncutil::CopyIn(copy, sizeof copy, B().cmd_file_name);
  return syncutil::CopyOut(dest, size, copy);
}

NB_SYNCUTIL_API const char* NB_SetCmdFilename(const char* name) {
  syncutil::CopyIn(B().cmd_file_name, sizeof B().cmd_file_name, name);
  return name;
}

NB_SYNCUTIL_API uint32_t NB_GetCmdType() { return B().cmd_type; }
NB_SYNCUTIL_API uint32_t NB_SetCmdType(uint32_t type) { return B().cmd_type = type; }
NB_SYNCUTIL_API uint32_t NB_GetUserID() { return B().user_id; }
NB_SYNCUTIL_API uint32_t NB_SetUserID(uint32_t id) { return B().user_id = id; }
NB_SYNCUTIL_API uint32_t NB_GetCreatorId() { return B().creator_id; }
NB_SYNCUTIL_API uint32_t NB_SetCreatorId(uint32_t id) { return B().creator_id = id; }
NB_SYNCUTIL_API uint32_t NB_SetHotSyncUserId(uint32_t id) { return B().hotsync_user_id = id; }

NB_SYNCUTIL_API int32_t NB_GetWaitFlag() { return __atomic_load_n(&B().wait_flag, __ATOMIC_SEQ_CST); }
NB_SYNCUTIL_API int32_t NB_SetWaitFlag(int32_t value) {
  __atomic_store_n(&B().wait_flag, value, __ATOMIC_SEQ_CST);
  return value;
}
NB_SYNCUTIL_API int32_t NB_IncWaitFlag() {
  return __atomic_add_fetch(&B().wait_flag, 1, __ATOMIC_SEQ_CST);
}
NB_SYNCUTIL_API int32_t NB_DecWaitFlag() {
  return __atomic_sub_fetch(&B().wait_flag, 1, __ATOMIC_SEQ_CST);
}

NB_SYNCUTIL_API uint16_t NB_GetRegisteredMsg() { return B().message_id; }
