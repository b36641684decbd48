// The machine-wide shared block: the file run/syncutil.shm, mapped shared by every
// process that loads syncutil, in the fixed little-endian layout below.
#pragma once

#include <cstddef>
#include <cstdint>

namespace syncutil {

constexpr int kQueueSlots = 512;
constexpr size_t kBlockSize = 282624;

struct CommandRecord {
  uint32_t type;
  uint32_t creator_id;
  uint32_t plugin_ref;
  uint32_t param1;
  uint32_t param2;
  uint32_t param3;
  char file_name[260];
  char plugin_name[260];
};
static_assert(sizeof(CommandRecord) == 544);

struct SharedBlock {
  uint16_t message_id;
  uint16_t padding;
  char user_name[260];
  uint32_t user_id;
  uint32_t cmd_type;
  char cmd_file_name[260];
  int32_t wait_flag;
  uint32_t creator_id;
  uint32_t hotsync_user_id;
  int32_t read_index;
  int32_t write_index;
  CommandRecord queue[kQueueSlots];
};
static_assert(offsetof(SharedBlock, user_name) == 4);
static_assert(offsetof(SharedBlock, user_id) == 264);
static_assert(offsetof(SharedBlock, cmd_type) == 268);
static_assert(offsetof(SharedBlock, cmd_file_name) == 272);
static_assert(offsetof(SharedBlock, wait_flag) == 532);
static_assert(offsetof(SharedBlock, creator_id) == 536);
static_assert(offsetof(SharedBlock, hotsync_user_id) == 540);
static_assert(offsetof(SharedBlock, read_index) == 544);
static_assert(offsetof(SharedBlock, queue) == 552);
static_assert(sizeof(SharedBlock) <= kBlockSize);

// The mapped block of this process; null when it could not be mapped (reported once).
// The first call starts the library (see load.cc), so nothing of the desktop is touched
// before a program uses the queue.
SharedBlock* Block();

// Brings the block to the disk (msync): a queued or taken command survives a power cut.
// Called under the queue's lock, so what reaches the disk is one whole change; a failure
// is reported on stderr.
void SyncBlock();

// Holds the exclusive lock on the block file for queue changes.
class QueueLock {
 public:
  QueueLock();
  ~QueueLock();
  QueueLock(const QueueLock&) = delete;
  QueueLock& operator=(const QueueLock&) = delete;
};

// Maps the block, creating it all zero with read index -1 when missing or of another size;
// the block, or null when it could not be mapped.
SharedBlock* MapBlock();
void UnmapBlock();

// Zero-fills dest[0..size) and copies at most size-1 characters; returns strlen(value).
size_t CopyOut(char* dest, size_t size, const char* value);
// Zero-fills a fixed field and copies at most field_size-1 characters.
void CopyIn(char* field, size_t field_size, const char* value);

}  // namespace syncutil
