// HotSync's sync library stand-in, "Sync20.dll" in the HotSync folder, and the record
// types its operations take. Databases live on the handheld of the synchronisation in
// progress, reached through the handheld interface (dlp/handheld.h): a virtual handheld
// folder or a handheld at the end of a link; only card 0 exists.
// Every operation returns 0 on success and a non-zero HotSync error code on failure.
// Reads copy at most buffer_size bytes and set size to the full size, so a caller sees
// when its buffer was too small.
#pragma once

#include <cstdint>

#define HS_SYNC_API extern "C" __attribute__((visibility("default")))

constexpr const char kSyncLibrary[] = "Sync20.dll";

// Error codes of the stand-in (the values HotSync reports for the same causes).
enum : int32_t {
  kSyncErrNone = 0,
  kSyncErrNotFound = 0x4003,     // no such database, record or block
  kSyncErrNoHandheld = 0x4004,   // no synchronisation is running
  kSyncErrExists = 0x4005,       // a database of that name is open
  kSyncErrBadHandle = 0x4006,    // handle not open
  kSyncErrBadArgument = 0x4007,  // null buffer, bad card, name too long
  kSyncErrTooManyOpen = 0x4008,  // every handle is in use
  kSyncErrWrite = 0x4009,        // the database file could not be replaced
  kSyncErrReadOnly = 0x400A,     // write through a handle opened for reading
  kSyncErrBusy = 0x400B,         // opened exclusively elsewhere
  kSyncErrLinkLost = 0x400C,     // the link to the handheld failed; nothing more gets through
  kSyncErrHandheld = 0x400D,     // the handheld refused the request for another reason
};

// Open modes, combinable.
enum : uint8_t { kSyncModeRead = 0x80, kSyncModeWrite = 0x40, kSyncModeExclusive = 0x20 };

// Database attribute bits (the handheld's).
enum : uint16_t { kDbResource = 0x0001, kDbReadOnly = 0x0002, kDbBackup = 0x0008 };

struct SyncCreateInfo {
  char name[32];  // NUL-terminated, at most 31 characters
  uint32_t creator;
  uint32_t type;
  uint16_t flags;  // database attributes
  uint16_t version;
  uint16_t card;   // 0
  uint8_t handle;  // out
};

// A record moved by SyncWriteRec / SyncReadRecordByIndex.
struct SyncRecord {
  uint8_t handle;
  uint32_t id;         // write: 0 for a new record; read: the record's unique ID
  uint16_t index;      // read: index of the record
  uint8_t attributes;  // high nibble of the handheld's attribute byte (0x80 deleted, ...)
  uint8_t category;    // 0..15
  uint8_t* buffer;
  uint32_t buffer_size;  // read: capacity of buffer
  uint32_t size;         // write: bytes in buffer; read: bytes of the record (out)
  uint32_t res_type;     // resource databases: the resource's type and ID (write: in,
  uint16_t res_id;       // read: out); a write replaces the resource of that type and ID
};

// A block moved by SyncWriteDBAppInfoBlock / SyncReadDBAppInfoBlock.
struct SyncBlock {
  uint8_t* buffer;
  uint32_t buffer_size;  // read: capacity
  uint32_t size;         // write: bytes in buffer; read: bytes of the block (out)
};

struct SyncUserInfo {
  char name[64];
  uint32_t user_id;
  uint32_t viewer_id;
  uint32_t last_sync_pc;
};

struct SyncDbInfo {
  char name[32];
  uint16_t attributes;
  uint16_t version;
  uint32_t created, modified, backed_up;  // seconds since 1 January 1904
  uint32_t mod_number;
  uint32_t type;
  uint32_t creator;
  uint16_t record_count;
};

using SyncOpenDBFn = int32_t (*)(const char* name, int card, uint8_t* handle, uint8_t mode);
using SyncDeleteDBFn = int32_t (*)(const char* name, int card);
// Creating a database that exists replaces it (resource or record database alike).
using SyncCreateDBFn = int32_t (*)(SyncCreateInfo* info);
using SyncCloseDBFn = int32_t (*)(uint8_t handle);
using SyncWriteRecFn = int32_t (*)(SyncRecord* record);
using SyncWriteDBAppInfoBlockFn = int32_t (*)(uint8_t handle, SyncBlock* block);
using SyncReadUserIDFn = int32_t (*)(SyncUserInfo* info);
using SyncResetSyncFlagsFn = int32_t (*)(uint8_t handle);
using SyncGetDBRecordCountFn = int32_t (*)(uint8_t handle, uint16_t* count);
using SyncPurgeDeletedRecsFn = int32_t (*)(uint8_t handle);
using SyncReadDBAppInfoBlockFn = int32_t (*)(uint8_t handle, SyncBlock* block);
using SyncReadRecordByIndexFn = int32_t (*)(SyncRecord* record);
using SyncYieldCyclesFn = int32_t (*)(uint16_t max_milliseconds);
using SyncReadOpenDbInfoFn = int32_t (*)(uint8_t handle, SyncDbInfo* info);

namespace nb::dlp {
class Handheld;
}

// Stand-in only, called by the hotsync program around the conduits: which handheld the
// operations work on. SyncBeginSession opens a virtual handheld folder itself (locked,
// each database written when closed); SyncEndSession closes what is still open and, for
// such a folder, ends its synchronisation. SyncBeginHandheld uses the caller's handheld,
// which must outlive the session; SyncEndSession then closes what the conduits left open
// and leaves the rest (EndOfSync among it) to the caller. Return 0 on success.
using SyncBeginSessionFn = int32_t (*)(const char* handheld_folder);
using SyncBeginHandheldFn = int32_t (*)(nb::dlp::Handheld* handheld);
using SyncEndSessionFn = int32_t (*)();
// Number of SyncYieldCycles calls since the session began (tests watch the link).
using SyncYieldCountFn = uint32_t (*)();
