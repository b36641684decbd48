#include "local_writer.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <optional>

#include "pdbfile/pdbfile.h"
#include "platform/prefix.h"
#include "platform/ui.h"

namespace conduit {
namespace {

using nb::pdb::Database;

// The handheld's limits: 16-bit record counts and record sizes.
constexpr size_t kMaxRecords = 0xFFFF;
constexpr uint32_t kMaxRecordSize = 0xFFFF;

std::string g_folder;
std::optional<Database> g_db;

int32_t NotImplemented(const char* operation) {
  Log(std::string("PDB FILE: ") + operation + " - function not implemented", -1, false);
  return kLocalErrNotImplemented;
}

Database* Held(uint8_t handle) { return handle == kLocalHandle && g_db ? &*g_db : nullptr; }

int32_t OpenDB(const char*, int, uint8_t*, uint8_t) { return kLocalErrOpen; }
int32_t DeleteDB(const char*, int) { return kLocalErrOpen; }

int32_t CreateDB(SyncCreateInfo* info) {
  if (!info) return kSyncErrBadArgument;
  const size_t len = strnlen(info->name, sizeof info->name);
  const std::string name(info->name, len);
  if (len == sizeof info->name) return kSyncErrBadArgument;
  std::string why;
  if (!nb::IsPlainFileName(name, &why)) {
    Log("PDB FILE: CreateDB - " + why, -1, false);
    return kSyncErrBadArgument;
  }
  if (g_db) return kSyncErrTooManyOpen;
  Database db;
  db.name = name;
  db.attributes = info->flags;
  db.version = info->version;
  db.type = info->type;
  db.creator = info->creator;
  db.created = db.modified = db.backed_up = nb::pdb::LocalTimeNow();
  g_db = std::move(db);
  info->handle = kLocalHandle;
  return kSyncErrNone;
}

int32_t CloseDB(uint8_t handle) {
  Database* db = Held(handle);
  if (!db) return kSyncErrBadHandle;
  nb::pdb::Layout layout;
  if (db->IsResource()) {
    db->version = 1;
    db->app_info.clear();
  } else {
    layout.filler = 0xFFFF;
    layout.app_info_offset_always = true;
    uint32_t number = 0;
    for (auto& r : db->records) {
      r.attributes = r.category = 0;
      r.unique_id = ++number;
    }
  }
  std::string path = g_folder;
  if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
  path += db->name + (db->IsResource() ? ".PRC" : ".PDB");
  const bool ok = nb::pdb::WriteFile(nb::MapPath(path), *db, layout);
  const int error = errno;
  g_db.reset();
  if (ok) return kSyncErrNone;
  Log("PDB FILE: CloseDB - cannot write " + path + ": " + std::strerror(error), -1, false);
  return kLocalErrWrite;
}

int32_t WriteRec(SyncRecord* rec) {
  if (!rec) return kSyncErrBadArgument;
  Database* db = Held(rec->handle);
  if (!db) return kSyncErrBadHandle;
  if (rec->size && !rec->buffer) return kSyncErrBadArgument;
  if (rec->size > kMaxRecordSize || db->records.size() >= kMaxRecords) return kLocalErrNoMemory;
  try {
    nb::pdb::Record r;
    r.data.assign(rec->buffer, rec->buffer + rec->size);
    r.res_type = rec->res_type;
    r.res_id = rec->res_id;
    db->records.push_back(std::move(r));
  } catch (const std::bad_alloc&) {
    return kLocalErrNoMemory;
  }
  if (!db->IsResource()) rec->id = uint32_t(db->records.size());
  return kSyncErrNone;
}

int32_t WriteAppInfo(uint8_t handle, SyncBlock* block) {
  Database* db = Held(handle);
  if (!db) return kSyncErrBadHandle;
  if (!block || (block->size && !block->buffer)) return kSyncErrBadArgument;
  try {
    db->app_info.assign(block->buffer, block->buffer + block->size);
  } catch (const std::bad_alloc&) {
    return kLocalErrNoMemory;
  }
  return kSyncErrNone;
}

int32_t ResetSyncFlags(uint8_t) { return kSyncErrNone; }
int32_t ReadUserID(SyncUserInfo*) { return NotImplemented("ReadUserID"); }
int32_t GetDBRecordCount(uint8_t, uint16_t*) { return NotImplemented("GetDBRecordCount"); }
int32_t PurgeDeletedRecs(uint8_t) { return NotImplemented("PurgeDeletedRecs"); }
int32_t ReadAppInfo(uint8_t, SyncBlock*) { return NotImplemented("ReadDBAppInfoBlock"); }
int32_t ReadRecordByIndex(SyncRecord*) { return NotImplemented("ReadRecordByIndex"); }
int32_t YieldCycles(uint16_t) { return NotImplemented("YieldCycles"); }

const SyncOps kLocalOps{OpenDB,           DeleteDB,         CreateDB,    CloseDB,
                        WriteRec,         WriteAppInfo,     ReadUserID,  ResetSyncFlags,
                        GetDBRecordCount, PurgeDeletedRecs, ReadAppInfo, ReadRecordByIndex,
                        YieldCycles};

}  // namespace

const SyncOps& LocalWriterOps() { return kLocalOps; }
int32_t LocalReadOpenDbInfo(uint8_t, SyncDbInfo*) { return kSyncErrNone; }

void LocalWriterLog(const char* text, int32_t, bool) {
  nb::ui::MessageBox("PDB FILE", text, nb::ui::Icon::kNone);
}

void SetLocalWriterFolder(const std::string& folder) {
  g_folder = folder;
  g_db.reset();
}

}  // namespace conduit
