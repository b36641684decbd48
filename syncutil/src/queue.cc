// The command queue: a ring of 512 records in the shared block. Changes hold the block
// file's lock so that concurrent producers and the consumer never lose or repeat one.
#include <cstring>

#include "errors.h"
#include "shared_block.h"
#include "syncutil/syncutil.h"

using syncutil::Block;
using syncutil::CommandRecord;
using syncutil::kQueueSlots;

namespace {

constexpr uint32_t kCreatorQMNB = 0x514D4E42;  // 'QMNB'

bool HasPluginName(uint32_t type) {
  return type == kCmdDownloadTable || type == kCmdUploadTable ||
         type == kCmdDownloadTableForCreator;
}

}  // namespace

NB_SYNCUTIL_API int NB_AddToCommandQueueEx(uint32_t type, const char* fileName, uint32_t creatorId,
                                           const char* pluginName, uint32_t param1, uint32_t param2,
                                           uint32_t param3) {
  if (type < 1 || type > 9) {
    syncutil::ShowError(syncutil::kErr1010);
    return 0;
  }
  if ((type == kCmdDownloadAppForCreator || type == kCmdDownloadTableForCreator) &&
      creatorId == 0) {
    syncutil::ShowError(syncutil::kErr1040);
    if (!fileName) syncutil::ShowError(syncutil::kErr1020);
    return 0;
  }
  if (type != kCmdNoOperation && !fileName) {
    syncutil::ShowError(syncutil::kErr1020);
    return 0;
  }
  syncutil::SharedBlock* b = Block();
  if (!b) return 0;
  syncutil::QueueLock lock;
  if (b->read_index == b->write_index) return 0;  // full
  if (b->read_index == -1) {
    b->read_index = 0;
    b->write_index = 0;
  }
  CommandRecord& r = b->queue[b->write_index];
  r.type = type;
  syncutil::CopyIn(r.file_name, sizeof r.file_name, fileName ? fileName : "");
  r.creator_id = creatorId;
  r.plugin_ref = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pluginName));
  r.param1 = param1;
  r.param2 = param2;
  r.param3 = param3;
  if (HasPluginName(type)) {
    syncutil::CopyIn(r.plugin_name, sizeof r.plugin_name, pluginName ? pluginName : "");
  }
  b->write_index = (b->write_index + 1) % kQueueSlots;
  syncutil::SyncBlock();
  return 1;
}

NB_SYNCUTIL_API int NB_AddToCommandQueue(uint32_t type, const char* fileName) {
  return NB_AddToCommandQueueEx(type, fileName, kCreatorQMNB, "pdbdevice.dll", 0, 0, 0);
}

NB_SYNCUTIL_API int NB_GetNextCommandEx(uint32_t* type, char* fileName, size_t fileNameSize,
                                        uint32_t* creatorId, const char** pluginName,
                                        uint32_t* param1, uint32_t* param2, uint32_t* param3) {
  syncutil::SharedBlock* b = Block();
  if (!b || !type) return 0;
  syncutil::QueueLock lock;
  if (b->read_index == -1) return 0;
  const CommandRecord& r = b->queue[b->read_index];
  *type = r.type;
  if (fileName) std::strncpy(fileName, r.file_name, fileNameSize);
  if (creatorId) *creatorId = r.creator_id;
  if (pluginName) {
    *pluginName = HasPluginName(r.type) ? r.plugin_name
                                        : reinterpret_cast<const char*>(uintptr_t{r.plugin_ref});
  }
  if (param1) *param1 = r.param1;
  if (param2) *param2 = r.param2;
  if (param3) *param3 = r.param3;
  b->read_index = (b->read_index + 1) % kQueueSlots;
  if (b->read_index == b->write_index) b->read_index = -1;
  syncutil::SyncBlock();
  return 1;
}

NB_SYNCUTIL_API int NB_GetNextCommand(uint32_t* type, char* fileName, size_t fileNameSize) {
  return NB_GetNextCommandEx(type, fileName, fileNameSize, nullptr, nullptr, nullptr, nullptr,
                             nullptr);
}

NB_SYNCUTIL_API int NB_GetQueuePositions(int32_t* readIndex, int32_t* writeIndex) {
  syncutil::SharedBlock* b = Block();
  if (!b) return 0;
  syncutil::QueueLock lock;
  if (readIndex) *readIndex = b->read_index;
  if (writeIndex) *writeIndex = b->write_index;
  return 1;
}

NB_SYNCUTIL_API int NB_RemoveQueuedCommand(uint32_t type, const char* fileName,
                                           uint32_t creatorId) {
  syncutil::SharedBlock* b = Block();
  if (!b || !fileName) return 0;
  syncutil::QueueLock lock;
  if (b->read_index == -1) return 0;
  const int spread = (b->write_index - b->read_index + kQueueSlots) % kQueueSlots;
  const int count = spread == 0 ? kQueueSlots : spread;  // equal indices with a command: full
  auto slot = [&](int i) { return (b->read_index + i) % kQueueSlots; };
  for (int i = count - 1; i >= 0; --i) {
    const CommandRecord& r = b->queue[slot(i)];
    if (r.type != type || r.creator_id != creatorId ||
        std::strncmp(r.file_name, fileName, sizeof r.file_name - 1) != 0)
      continue;
    for (int j = i + 1; j < count; ++j) b->queue[slot(j - 1)] = b->queue[slot(j)];
    b->write_index = (b->write_index - 1 + kQueueSlots) % kQueueSlots;
    if (b->write_index == b->read_index) b->read_index = -1;
    syncutil::SyncBlock();
    return 1;
  }
  return 0;
}

namespace syncutil {

void EmptyQueue() {
  SharedBlock* b = Block();
  if (!b) return;
  QueueLock lock;
  b->read_index = -1;
  b->write_index = 0;
  SyncBlock();
}

}  // namespace syncutil
