// Sync20.so: HotSync's handheld operations against the virtual handheld of the session
// the hotsync program began. An open database lives in memory; closing it writes its
// file back when something changed.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "handheld.h"
#include "hotsync/sync.h"
#include "platform/prefix.h"

namespace {

using hotsync::Handheld;
using nb::pdb::Database;
using nb::pdb::Record;

constexpr int kMaxOpen = 16;
// The handheld's limits: 16-bit sizes and record counts, 24-bit unique IDs.
constexpr uint32_t kMaxBlock = 0xFFFF;
constexpr size_t kMaxRecords = 0xFFFF;
constexpr uint32_t kUniqueIdMask = 0xFFFFFF;
constexpr uint8_t kRecordDirty = 0x40;
constexpr uint8_t kRecordDeleted = 0x80;

struct OpenDb {
  bool used = false;
  Database db;
  uint8_t mode = 0;
  bool changed = false;
  uint32_t last_id = 0;
};

struct Session {
  std::unique_ptr<hotsync::HandheldLock> lock;
  std::optional<Handheld> handheld;
  OpenDb open[kMaxOpen];
  // Deleted databases keep their files until the session ends or a new database of the
  // name replaces them, so that a kill in between leaves the old database, not none.
  std::set<std::string> deleted;
};

Session* g_session = nullptr;
std::atomic<uint32_t> g_yields{0};

void Complain(const std::string& text) { std::fprintf(stderr, "Sync20: %s\n", text.c_str()); }

OpenDb* Find(uint8_t handle) {
  if (!g_session || handle == 0 || handle > kMaxOpen) return nullptr;
  OpenDb* o = &g_session->open[handle - 1];
  return o->used ? o : nullptr;
}

OpenDb* FindByName(const std::string& name) {
  for (OpenDb& o : g_session->open)
    if (o.used && o.db.name == name) return &o;
  return nullptr;
}

// A free handle, or 0 when every handle is in use.
uint8_t FreeHandle() {
  for (int i = 0; i < kMaxOpen; ++i)
    if (!g_session->open[i].used) return uint8_t(i + 1);
  return 0;
}

// The database name of a fixed 32-byte field or a C string, if valid.
bool NameOf(const char* text, size_t limit, std::string* name) {
  if (!text) return false;
  size_t len = strnlen(text, limit);
  if (len == limit) return false;
  *name = std::string(text, len);
  return hotsync::ValidDatabaseName(*name);
}

int32_t Writable(uint8_t handle, OpenDb** out) {
  if (!g_session) return kSyncErrNoHandheld;
  OpenDb* o = Find(handle);
  if (!o) return kSyncErrBadHandle;
  if (!(o->mode & kSyncModeWrite)) return kSyncErrReadOnly;
  *out = o;
  return kSyncErrNone;
}

int32_t Readable(uint8_t handle, OpenDb** out) {
  if (!g_session) return kSyncErrNoHandheld;
  OpenDb* o = Find(handle);
  if (!o) return kSyncErrBadHandle;
  *out = o;
  return kSyncErrNone;
}

// The highest unique ID in use, where fresh IDs continue.
uint32_t LastUniqueId(const Database& db) {
  uint32_t id = db.unique_id_seed & kUniqueIdMask;
  for (const Record& r : db.records) id = std::max(id, r.unique_id & kUniqueIdMask);
  return id;
}

uint32_t NextUniqueId(OpenDb& o) {
  o.last_id = (o.last_id + 1) & kUniqueIdMask;
  if (o.last_id == 0) o.last_id = 1;
  o.db.unique_id_seed = o.last_id;
  return o.last_id;
}

// Records without an ID of their own (files made on the desktop often have none) get one,
// as the handheld gives them when such a file is installed: IDs must tell records apart.
void GiveUniqueIds(OpenDb& o) {
  if (o.db.IsResource()) return;
  std::set<uint32_t> seen;
  for (Record& r : o.db.records)
    if (r.unique_id == 0 || !seen.insert(r.unique_id).second) r.unique_id = NextUniqueId(o);
}

void CopyOut(const std::vector<uint8_t>& from, uint8_t* buffer, uint32_t buffer_size,
             uint32_t* size) {
  uint32_t n = std::min<uint32_t>(uint32_t(from.size()), buffer_size);
  if (n) std::memcpy(buffer, from.data(), n);
  *size = uint32_t(from.size());
}

int32_t Close(OpenDb& o) {
  int32_t result = kSyncErrNone;
  if (o.changed) {
    o.db.modified = hotsync::HandheldNow();
    ++o.db.mod_number;
    std::string error;
    if (!g_session->handheld->Write(o.db, &error)) {
      Complain(error);
      result = kSyncErrWrite;
    }
  }
  o = OpenDb{};
  return result;
}

}  // namespace

HS_SYNC_API int32_t SyncBeginSession(const char* handheld_folder) {
  if (!handheld_folder) {
    Complain("no handheld folder given");
    return kSyncErrBadArgument;
  }
  if (g_session) return kSyncErrBusy;
  const std::string folder = nb::MapPath(handheld_folder);
  std::string error;
  auto session = std::make_unique<Session>();
  session->handheld = Handheld::Open(folder, &error);
  if (!session->handheld) {
    Complain(error);
    return kSyncErrNoHandheld;
  }
  session->lock = hotsync::HandheldLock::Acquire(folder, &error);
  if (!session->lock) {
    Complain(error);
    return kSyncErrBusy;
  }
  for (const std::string& file : session->handheld->RemoveUnfinishedWrites())
    Complain("removed " + file + ", left by an interrupted synchronisation");
  g_yields = 0;
  g_session = session.release();
  return kSyncErrNone;
}

HS_SYNC_API int32_t SyncEndSession() {
  if (!g_session) return kSyncErrNoHandheld;
  int32_t result = kSyncErrNone;
  for (OpenDb& o : g_session->open) {
    if (!o.used) continue;
    int32_t r = Close(o);
    if (r != kSyncErrNone) result = r;
  }
  for (const std::string& name : g_session->deleted) {
    std::string error;
    if (!g_session->handheld->Remove(name, &error)) {
      Complain(error);
      result = kSyncErrWrite;
    }
  }
  delete g_session;
  g_session = nullptr;
  return result;
}

HS_SYNC_API uint32_t SyncYieldCount() { return g_yields; }

HS_SYNC_API int32_t SyncOpenDB(const char* name_text, int card, uint8_t* handle, uint8_t mode) {
  if (!g_session) return kSyncErrNoHandheld;
  std::string name;
  if (!handle || card != 0 || !NameOf(name_text, 32, &name)) return kSyncErrBadArgument;
  if (OpenDb* other = FindByName(name)) {
    // Shared reading is fine; exclusive use is not, nor two writers, whose write-backs
    // would undo each other.
    if ((mode & kSyncModeExclusive) || (other->mode & kSyncModeExclusive) ||
        ((mode & kSyncModeWrite) && (other->mode & kSyncModeWrite)))
      return kSyncErrBusy;
  }
  uint8_t h = FreeHandle();
  if (!h) return kSyncErrTooManyOpen;
  if (g_session->deleted.count(name)) return kSyncErrNotFound;
  std::string error;
  auto db = g_session->handheld->Read(name, &error);
  if (!db) {
    if (g_session->handheld->Exists(name)) Complain(error);
    return kSyncErrNotFound;
  }
  if ((mode & kSyncModeWrite) && (db->attributes & kDbReadOnly)) return kSyncErrReadOnly;
  OpenDb& o = g_session->open[h - 1];
  o.used = true;
  o.db = std::move(*db);
  o.last_id = LastUniqueId(o.db);
  GiveUniqueIds(o);
  o.mode = (mode & (kSyncModeRead | kSyncModeWrite)) ? mode : uint8_t(mode | kSyncModeRead);
  o.changed = false;
  *handle = h;
  return kSyncErrNone;
}

HS_SYNC_API int32_t SyncDeleteDB(const char* name_text, int card) {
  if (!g_session) return kSyncErrNoHandheld;
  std::string name;
  if (card != 0 || !NameOf(name_text, 32, &name)) return kSyncErrBadArgument;
  if (FindByName(name)) return kSyncErrBusy;
  if (!g_session->handheld->Exists(name) || g_session->deleted.count(name)) return kSyncErrNotFound;
  g_session->deleted.insert(name);
  return kSyncErrNone;
}

HS_SYNC_API int32_t SyncCreateDB(SyncCreateInfo* info) {
  if (!g_session) return kSyncErrNoHandheld;
  std::string name;
  if (!info || info->card != 0 || !NameOf(info->name, sizeof info->name, &name))
    return kSyncErrBadArgument;
  // A database on the handheld is replaced (its file, of either kind, when the new one is
  // closed); only one in use cannot be.
  if (FindByName(name)) return kSyncErrExists;
  uint8_t h = FreeHandle();
  if (!h) return kSyncErrTooManyOpen;
  g_session->deleted.erase(name);
  OpenDb& o = g_session->open[h - 1];
  o.used = true;
  o.db = Database{};
  o.db.name = name;
  o.db.attributes = info->flags;
  o.db.version = info->version;
  o.db.type = info->type;
  o.db.creator = info->creator;
  o.db.created = o.db.modified = hotsync::HandheldNow();
  o.last_id = 0;
  o.mode = kSyncModeRead | kSyncModeWrite | kSyncModeExclusive;
  // A new database reaches the handheld even when nothing is written into it.
  o.changed = true;
  info->handle = h;
  return kSyncErrNone;
}

HS_SYNC_API int32_t SyncCloseDB(uint8_t handle) {
  if (!g_session) return kSyncErrNoHandheld;
  OpenDb* o = Find(handle);
  if (!o) return kSyncErrBadHandle;
  return Close(*o);
}

HS_SYNC_API int32_t SyncWriteRec(SyncRecord* rec) {
  if (!rec) return kSyncErrBadArgument;
  OpenDb* o = nullptr;
  if (int32_t r = Writable(rec->handle, &o)) return r;
  if (rec->size > kMaxBlock || (rec->size && !rec->buffer)) return kSyncErrBadArgument;
  Database& db = o->db;
  // A new record (ID 0) needs no search, so writing a whole database stays linear.
  Record* target = nullptr;
  if (db.IsResource() || rec->id != 0) {
    for (Record& r : db.records) {
      bool same = db.IsResource() ? r.res_type == rec->res_type && r.res_id == rec->res_id
                                  : r.unique_id == (rec->id & kUniqueIdMask);
      if (same) target = &r;
    }
  }
  if (!target) {
    if (db.records.size() >= kMaxRecords) return kSyncErrBadArgument;
    db.records.emplace_back();
    target = &db.records.back();
    if (db.IsResource()) {
      target->res_type = rec->res_type;
      target->res_id = rec->res_id;
    } else {
      target->unique_id = rec->id ? rec->id & kUniqueIdMask : NextUniqueId(*o);
      o->last_id = std::max(o->last_id, target->unique_id);
    }
  }
  target->data.assign(rec->buffer, rec->buffer + rec->size);
  target->attributes = rec->attributes & 0xF0;
  target->category = rec->category & 0x0F;
  if (!db.IsResource()) rec->id = target->unique_id;
  o->changed = true;
  return kSyncErrNone;
}

HS_SYNC_API int32_t SyncWriteDBAppInfoBlock(uint8_t handle, SyncBlock* block) {
  OpenDb* o = nullptr;
  if (int32_t r = Writable(handle, &o)) return r;
  if (!block || block->size > kMaxBlock || (block->size && !block->buffer))
    return kSyncErrBadArgument;
  o->db.app_info.assign(block->buffer, block->buffer + block->size);
  o->changed = true;
  return kSyncErrNone;
}

HS_SYNC_API int32_t SyncReadUserID(SyncUserInfo* info) {
  if (!g_session) return kSyncErrNoHandheld;
  if (!info) return kSyncErrBadArgument;
  std::memset(info, 0, sizeof *info);
  std::strncpy(info->name, g_session->handheld->user_name().c_str(), sizeof info->name - 1);
  info->user_id = g_session->handheld->user_id();
  return kSyncErrNone;
}

HS_SYNC_API int32_t SyncResetSyncFlags(uint8_t handle) {
  OpenDb* o = nullptr;
  if (int32_t r = Writable(handle, &o)) return r;
  for (Record& r : o->db.records) {
    if (!(r.attributes & kRecordDirty)) continue;
    r.attributes &= uint8_t(~kRecordDirty);
    o->changed = true;
  }
  return kSyncErrNone;
}

HS_SYNC_API int32_t SyncGetDBRecordCount(uint8_t handle, uint16_t* count) {
  OpenDb* o = nullptr;
  if (int32_t r = Readable(handle, &o)) return r;
  if (!count) return kSyncErrBadArgument;
  *count = uint16_t(o->db.records.size());
  return kSyncErrNone;
}

HS_SYNC_API int32_t SyncPurgeDeletedRecs(uint8_t handle) {
  OpenDb* o = nullptr;
  if (int32_t r = Writable(handle, &o)) return r;
  auto& recs = o->db.records;
  size_t before = recs.size();
  recs.erase(std::remove_if(recs.begin(), recs.end(),
                            [](const Record& r) { return r.attributes & kRecordDeleted; }),
             recs.end());
  if (recs.size() != before) o->changed = true;
  return kSyncErrNone;
}

HS_SYNC_API int32_t SyncReadDBAppInfoBlock(uint8_t handle, SyncBlock* block) {
  OpenDb* o = nullptr;
  if (int32_t r = Readable(handle, &o)) return r;
  if (!block || (block->buffer_size && !block->buffer)) return kSyncErrBadArgument;
  if (o->db.app_info.empty()) return kSyncErrNotFound;
  CopyOut(o->db.app_info, block->buffer, block->buffer_size, &block->size);
  return kSyncErrNone;
}

HS_SYNC_API int32_t SyncReadRecordByIndex(SyncRecord* rec) {
  if (!rec) return kSyncErrBadArgument;
  OpenDb* o = nullptr;
  if (int32_t r = Readable(rec->handle, &o)) return r;
  if (rec->buffer_size && !rec->buffer) return kSyncErrBadArgument;
  if (rec->index >= o->db.records.size()) return kSyncErrNotFound;
  const Record& r = o->db.records[rec->index];
  CopyOut(r.data, rec->buffer, rec->buffer_size, &rec->size);
  rec->id = r.unique_id;
  rec->attributes = r.attributes;
  rec->category = r.category;
  rec->res_type = r.res_type;
  rec->res_id = r.res_id;
  return kSyncErrNone;
}

HS_SYNC_API int32_t SyncYieldCycles(uint16_t) {
  ++g_yields;
  return g_session ? kSyncErrNone : kSyncErrNoHandheld;
}

HS_SYNC_API int32_t SyncReadOpenDbInfo(uint8_t handle, SyncDbInfo* info) {
  OpenDb* o = nullptr;
  if (int32_t r = Readable(handle, &o)) return r;
  if (!info) return kSyncErrBadArgument;
  const Database& db = o->db;
  std::memset(info, 0, sizeof *info);
  std::strncpy(info->name, db.name.c_str(), sizeof info->name - 1);
  info->attributes = db.attributes;
  info->version = db.version;
  info->created = db.created;
  info->modified = db.modified;
  info->backed_up = db.backed_up;
  info->mod_number = db.mod_number;
  info->type = db.type;
  info->creator = db.creator;
  info->record_count = uint16_t(db.records.size());
  return kSyncErrNone;
}
