// Sync20.so: HotSync's handheld operations, each carried out through the handheld
// interface of the session the hotsync program began, a virtual handheld folder or a
// handheld at the end of a link.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "dlp/handheld.h"
#include "handheld.h"
#include "hotsync/sync.h"
#include "platform/prefix.h"

namespace {

namespace dlp = nb::dlp;

// The handheld's limit on a record or block.
constexpr uint32_t kMaxBlock = 0xFFFF;

// What the handheld answered, as HotSync reports it.
constexpr struct {
  dlp::Status status;
  int32_t error;
} kErrors[] = {
    {dlp::kOk, kSyncErrNone},
    {dlp::kErrNotFound, kSyncErrNotFound},
    {dlp::kErrRecordDeleted, kSyncErrNotFound},
    {dlp::kErrCantOpen, kSyncErrNotFound},
    {dlp::kErrDatabaseOpen, kSyncErrBusy},
    {dlp::kErrRecordBusy, kSyncErrBusy},
    {dlp::kErrAlreadyExists, kSyncErrExists},
    {dlp::kErrReadOnly, kSyncErrReadOnly},
    {dlp::kErrTooManyOpen, kSyncErrTooManyOpen},
    {dlp::kErrNoneOpen, kSyncErrBadHandle},
    {dlp::kErrParam, kSyncErrBadArgument},
    {dlp::kErrArgMissing, kSyncErrBadArgument},
    {dlp::kErrArgSize, kSyncErrBadArgument},
    {dlp::kErrSystem, kSyncErrWrite},
    {dlp::kErrMemory, kSyncErrWrite},
    {dlp::kErrNotEnoughSpace, kSyncErrWrite},
    {dlp::kLinkLost, kSyncErrLinkLost},
};

int32_t ErrorOf(dlp::Status status) {
  for (const auto& e : kErrors)
    if (e.status == status) return e.error;
  return kSyncErrHandheld;
}

struct Session {
  std::unique_ptr<hotsync::FolderHandheld> folder;  // SyncBeginSession's own
  dlp::Handheld* handheld = nullptr;
  std::map<uint8_t, bool> open;  // the handles the conduits hold: resource database?
};

Session* g_session = nullptr;
std::atomic<uint32_t> g_yields{0};

void Complain(const std::string& text) { std::fprintf(stderr, "Sync20: %s\n", text.c_str()); }

// The database name of a fixed 32-byte field or a C string, if valid.
bool NameOf(const char* text, size_t limit, std::string* name) {
  if (!text) return false;
  size_t len = strnlen(text, limit);
  if (len == limit) return false;
  *name = std::string(text, len);
  return hotsync::ValidDatabaseName(*name);
}

// The session's handle, or a HotSync error.
int32_t Held(uint8_t handle, bool* resource = nullptr) {
  if (!g_session) return kSyncErrNoHandheld;
  auto it = g_session->open.find(handle);
  if (it == g_session->open.end()) return kSyncErrBadHandle;
  if (resource) *resource = it->second;
  return kSyncErrNone;
}

void CopyOut(const std::vector<uint8_t>& from, uint8_t* buffer, uint32_t buffer_size,
             uint32_t* size) {
  uint32_t n = std::min<uint32_t>(uint32_t(from.size()), buffer_size);
  if (n) std::memcpy(buffer, from.data(), n);
  *size = uint32_t(from.size());
}

int32_t Opened(uint8_t handle) {
  dlp::DbInfo info;
  uint16_t count = 0;
  if (dlp::Status s = g_session->handheld->ReadOpenDbInfo(handle, &info, &count)) {
    g_session->handheld->CloseDb(handle);
    return ErrorOf(s);
  }
  g_session->open[handle] = info.attributes & dlp::kDbResource;
  return kSyncErrNone;
}

}  // namespace

HS_SYNC_API int32_t SyncBeginSession(const char* handheld_folder) {
  if (!handheld_folder) {
    Complain("no handheld folder given");
    return kSyncErrBadArgument;
  }
  if (g_session) return kSyncErrBusy;
  std::string error;
  bool busy = false;
  auto folder = hotsync::FolderHandheld::Open(nb::MapPath(handheld_folder),
                                              hotsync::CommitAt::kClose, &error, &busy);
  if (!folder) {
    Complain(error);
    return busy ? kSyncErrBusy : kSyncErrNoHandheld;
  }
  folder->SetReporter(Complain);
  g_yields = 0;
  g_session = new Session;
  g_session->handheld = folder.get();
  g_session->folder = std::move(folder);
  return kSyncErrNone;
}

HS_SYNC_API int32_t SyncBeginHandheld(nb::dlp::Handheld* handheld) {
  if (!handheld) return kSyncErrBadArgument;
  if (g_session) return kSyncErrBusy;
  g_yields = 0;
  g_session = new Session;
  g_session->handheld = handheld;
  return kSyncErrNone;
}

HS_SYNC_API int32_t SyncEndSession() {
  if (!g_session) return kSyncErrNoHandheld;
  int32_t result = kSyncErrNone;
  for (const auto& [handle, resource] : g_session->open)
    if (dlp::Status s = g_session->handheld->CloseDb(handle)) result = ErrorOf(s);
  if (g_session->folder)
    if (dlp::Status s = g_session->folder->EndOfSync(dlp::kSyncNormal)) result = ErrorOf(s);
  delete g_session;
  g_session = nullptr;
  return result;
}

HS_SYNC_API uint32_t SyncYieldCount() { return g_yields; }

HS_SYNC_API int32_t SyncOpenDB(const char* name_text, int card, uint8_t* handle, uint8_t mode) {
  if (!g_session) return kSyncErrNoHandheld;
  std::string name;
  if (!handle || card != 0 || !NameOf(name_text, 32, &name)) return kSyncErrBadArgument;
  uint8_t h = 0;
  if (dlp::Status s = g_session->handheld->OpenDb(name, mode, &h)) return ErrorOf(s);
  if (int32_t r = Opened(h)) return r;
  *handle = h;
  return kSyncErrNone;
}

HS_SYNC_API int32_t SyncDeleteDB(const char* name_text, int card) {
  if (!g_session) return kSyncErrNoHandheld;
  std::string name;
  if (card != 0 || !NameOf(name_text, 32, &name)) return kSyncErrBadArgument;
  return ErrorOf(g_session->handheld->DeleteDb(name));
}

HS_SYNC_API int32_t SyncCreateDB(SyncCreateInfo* info) {
  if (!g_session) return kSyncErrNoHandheld;
  std::string name;
  if (!info || info->card != 0 || !NameOf(info->name, sizeof info->name, &name))
    return kSyncErrBadArgument;
  // Creating replaces a database of the name; only one in use cannot be.
  dlp::Status s = g_session->handheld->DeleteDb(name);
  if (s == dlp::kErrDatabaseOpen) return kSyncErrExists;
  if (s != dlp::kOk && s != dlp::kErrNotFound) return ErrorOf(s);
  dlp::CreateDb new_db;
  new_db.name = name;
  new_db.creator = info->creator;
  new_db.type = info->type;
  new_db.attributes = info->flags;
  new_db.version = info->version;
  uint8_t h = 0;
  if ((s = g_session->handheld->CreateDb(new_db, &h))) return ErrorOf(s);
  g_session->open[h] = info->flags & kDbResource;
  info->handle = h;
  return kSyncErrNone;
}

HS_SYNC_API int32_t SyncCloseDB(uint8_t handle) {
  if (int32_t r = Held(handle)) return r;
  g_session->open.erase(handle);
  return ErrorOf(g_session->handheld->CloseDb(handle));
}

HS_SYNC_API int32_t SyncWriteRec(SyncRecord* rec) {
  if (!rec) return kSyncErrBadArgument;
  bool resource = false;
  if (int32_t r = Held(rec->handle, &resource)) return r;
  if (rec->size > kMaxBlock || (rec->size && !rec->buffer)) return kSyncErrBadArgument;
  if (resource) {
    dlp::ResourceData res;
    res.type = rec->res_type;
    res.id = rec->res_id;
    res.data.assign(rec->buffer, rec->buffer + rec->size);
    return ErrorOf(g_session->handheld->WriteResource(rec->handle, res));
  }
  dlp::RecordData data;
  data.id = rec->id;
  data.attributes = rec->attributes & 0xF0;
  data.category = rec->category & 0x0F;
  data.data.assign(rec->buffer, rec->buffer + rec->size);
  uint32_t id = 0;
  if (dlp::Status s = g_session->handheld->WriteRecord(rec->handle, data, &id)) return ErrorOf(s);
  rec->id = id;
  return kSyncErrNone;
}

HS_SYNC_API int32_t SyncWriteDBAppInfoBlock(uint8_t handle, SyncBlock* block) {
  if (int32_t r = Held(handle)) return r;
  if (!block || block->size > kMaxBlock || (block->size && !block->buffer))
    return kSyncErrBadArgument;
  std::vector<uint8_t> data(block->buffer, block->buffer + block->size);
  return ErrorOf(g_session->handheld->WriteAppBlock(handle, data));
}

HS_SYNC_API int32_t SyncReadUserID(SyncUserInfo* info) {
  if (!g_session) return kSyncErrNoHandheld;
  if (!info) return kSyncErrBadArgument;
  dlp::UserInfo user;
  if (dlp::Status s = g_session->handheld->ReadUserInfo(&user)) return ErrorOf(s);
  std::memset(info, 0, sizeof *info);
  std::strncpy(info->name, user.user_name.c_str(), sizeof info->name - 1);
  info->user_id = user.user_id;
  info->viewer_id = user.viewer_id;
  info->last_sync_pc = user.last_sync_pc;
  return kSyncErrNone;
}

HS_SYNC_API int32_t SyncResetSyncFlags(uint8_t handle) {
  if (int32_t r = Held(handle)) return r;
  return ErrorOf(g_session->handheld->ResetSyncFlags(handle));
}

HS_SYNC_API int32_t SyncGetDBRecordCount(uint8_t handle, uint16_t* count) {
  if (int32_t r = Held(handle)) return r;
  if (!count) return kSyncErrBadArgument;
  dlp::DbInfo info;
  return ErrorOf(g_session->handheld->ReadOpenDbInfo(handle, &info, count));
}

HS_SYNC_API int32_t SyncPurgeDeletedRecs(uint8_t handle) {
  if (int32_t r = Held(handle)) return r;
  return ErrorOf(g_session->handheld->CleanUpDatabase(handle));
}

HS_SYNC_API int32_t SyncReadDBAppInfoBlock(uint8_t handle, SyncBlock* block) {
  if (int32_t r = Held(handle)) return r;
  if (!block || (block->buffer_size && !block->buffer)) return kSyncErrBadArgument;
  std::vector<uint8_t> data;
  if (dlp::Status s = g_session->handheld->ReadAppBlock(handle, &data)) return ErrorOf(s);
  CopyOut(data, block->buffer, block->buffer_size, &block->size);
  return kSyncErrNone;
}

HS_SYNC_API int32_t SyncReadRecordByIndex(SyncRecord* rec) {
  if (!rec) return kSyncErrBadArgument;
  bool resource = false;
  if (int32_t r = Held(rec->handle, &resource)) return r;
  if (rec->buffer_size && !rec->buffer) return kSyncErrBadArgument;
  if (resource) {
    dlp::ResourceData res;
    if (dlp::Status s = g_session->handheld->ReadResourceByIndex(rec->handle, rec->index, &res))
      return ErrorOf(s);
    CopyOut(res.data, rec->buffer, rec->buffer_size, &rec->size);
    rec->id = 0;
    rec->attributes = rec->category = 0;
    rec->res_type = res.type;
    rec->res_id = res.id;
    return kSyncErrNone;
  }
  dlp::RecordData data;
  if (dlp::Status s = g_session->handheld->ReadRecordByIndex(rec->handle, rec->index, &data))
    return ErrorOf(s);
  CopyOut(data.data, rec->buffer, rec->buffer_size, &rec->size);
  rec->id = data.id;
  rec->attributes = data.attributes;
  rec->category = data.category;
  rec->res_type = 0;
  rec->res_id = 0;
  return kSyncErrNone;
}

HS_SYNC_API int32_t SyncYieldCycles(uint16_t) {
  ++g_yields;
  if (!g_session) return kSyncErrNoHandheld;
  return ErrorOf(g_session->handheld->KeepAlive());
}

HS_SYNC_API int32_t SyncReadOpenDbInfo(uint8_t handle, SyncDbInfo* info) {
  if (int32_t r = Held(handle)) return r;
  if (!info) return kSyncErrBadArgument;
  dlp::DbInfo db;
  uint16_t count = 0;
  if (dlp::Status s = g_session->handheld->ReadOpenDbInfo(handle, &db, &count)) return ErrorOf(s);
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
  info->record_count = count;
  return kSyncErrNone;
}
