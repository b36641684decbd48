// Table transfer: the device-database plug-in converts between the desktop table file and
// a handheld database file; this moves that file to and from the handheld record by
// record.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "conduit_error.h"
#include "dispatch.h"
#include "nbddb/exception.h"
#include "pdbfile/bytes.h"
#include "pdbfile/pdbfile.h"
#include "platform/os.h"
#include "platform/prefix.h"
#include "platform/ui.h"
#include "plugins.h"
#include "sync_ops.h"
#include "table_names.h"

namespace conduit {
namespace {

constexpr uint32_t kBlockBufferSize = 65535;

// Steps shared by a download and PdbFileWriteTable: the plug-in writes the database file.
int WriteDatabaseFile(const std::string& file, uint32_t creator, const std::string& plugin,
                      uint32_t flags, uint32_t major, uint32_t minor, Binding binding,
                      std::string* pdb_path) {
  const int32_t activity = binding == Binding::kDownload ? 9 : 17;
  DevicePlugin device(plugin, binding);
  if (!device.object()) return 0;
  *pdb_path = nb::MapPath(DatabaseFilePath(file, creator, major, minor));
  const std::string name = DatabaseName(file, creator, major, minor, '_', true);
  SetPluginLogActivity(activity);
  try {
    return device.object()->PutTableToPalmPilot(
               name.c_str(), nb::MapPath(file).c_str(), pdb_path->c_str(), creator, flags,
               nb::MapPath(TablePluginPath(file)).c_str(), PluginLog)
               ? 1
               : 0;
  } catch (const CNbddb_Exception& e) {
    ReportPluginException(e.code(), e.text(), activity);
    return 0;
  }
}

bool ReadWhole(const std::string& path, std::vector<uint8_t>* bytes) {
  std::string text;
  if (!nb::ReadWholeFile(path, &text) || text.empty()) return false;
  bytes->assign(text.begin(), text.end());
  return true;
}

// Sends the database file to the handheld. A file the reader refuses fails the command
// instead of sending a garbled database.
int SendDatabaseFile(const std::vector<uint8_t>& file) {
  auto db = nb::pdb::Parse(file, nullptr);
  if (!db) return 0;
  char name[32] = {};
  nb::pdb::HandheldName(db->name).copy(name, sizeof name - 1);
  Ops().SyncDeleteDB(name, 0);
  SyncCreateInfo create{};
  std::memcpy(create.name, name, sizeof create.name);
  create.creator = db->creator;
  create.type = db->type;
  create.flags = db->attributes;
  create.version = db->version;
  create.card = 0;
  if (Ops().SyncCreateDB(&create) != 0) return 0;

  int result = 1;
  if (!db->app_info.empty()) {
    SyncBlock block{db->app_info.data(), uint32_t(db->app_info.size()),
                    uint32_t(db->app_info.size())};
    result = Ops().SyncWriteDBAppInfoBlock(create.handle, &block) == 0;
  }
  for (size_t i = 0; result && i < db->records.size(); ++i) {
    nb::pdb::Record& r = db->records[i];
    SyncRecord rec{};
    rec.handle = create.handle;
    rec.id = 0;
    rec.attributes = r.attributes;
    rec.category = r.category;
    rec.buffer = r.data.data();
    rec.size = rec.buffer_size = uint32_t(r.data.size());
    result = Ops().SyncWriteRec(&rec) == 0;
  }
  // Closing is when the database reaches the handheld; it can fail there too.
  if (Ops().SyncCloseDB(create.handle) != 0) result = 0;
  return result;
}

// The log line for a failed write of the upload file, by its cause.
std::string WriteErrorText(int error) {
  int code = 0;
  switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
      code = 1400;
      break;
    case EBADF:
    case EINVAL:
    case EFBIG:
      code = 1410;
      break;
    case EIO:
      code = 1420;
      break;
    case EBUSY:
    case ETXTBSY:
    case EWOULDBLOCK:
      code = 1430;
      break;
    case ENOSPC:
    case EDQUOT:
      code = 1350;
      break;
  }
  if (!code) return "Error - Unknown error when saving record to table.";
  return ErrorMessage(code);
}

// Reads the handheld database into the database file: the header area, the
// application-info block, then the records.
int ReceiveDatabaseFile(const std::string& name, const std::string& path) {
  uint8_t handle = 0;
  if (Ops().SyncOpenDB(name.c_str(), 0, &handle, kSyncModeRead) != 0) return 0;
  std::vector<uint8_t> app(kBlockBufferSize);
  SyncBlock block{app.data(), kBlockBufferSize, 0};
  if (Ops().SyncReadDBAppInfoBlock(handle, &block) != 0) block.size = 0;
  app.resize(std::min(block.size, kBlockBufferSize));
  uint16_t count = 0;
  Ops().SyncGetDBRecordCount(handle, &count);
  SyncDbInfo info{};
  if (ReadOpenDbInfo()) ReadOpenDbInfo()(handle, &info);

  std::vector<uint8_t> header;
  nb::pdb::PutFixed(header, name, 32);
  nb::pdb::Put16(header, info.attributes);
  nb::pdb::Put16(header, info.version);
  nb::pdb::Put32(header, info.created);
  nb::pdb::Put32(header, info.modified);
  nb::pdb::Put32(header, info.backed_up);
  nb::pdb::Put32(header, info.mod_number);
  nb::pdb::Put32(header, 80 + 8 * uint32_t(count));
  nb::pdb::Put32(header, 0);
  nb::pdb::Put32(header, info.type);
  nb::pdb::Put32(header, info.creator);
  nb::pdb::Put32(header, 0);
  nb::pdb::Put32(header, 0);
  nb::pdb::Put16(header, count);
  header.resize(header.size() + 8 * size_t(count) + 2);

  // Built whole in memory and written durably, so a failure leaves the old file as it was.
  std::vector<uint8_t> records;
  std::vector<uint8_t> buffer(kBlockBufferSize);
  uint32_t end = uint32_t(header.size() + app.size());
  int result = 1;
  for (uint16_t i = 0; result && i < count; ++i) {
    SyncRecord rec{};
    rec.handle = handle;
    rec.index = i;
    rec.buffer = buffer.data();
    rec.buffer_size = kBlockBufferSize;
    if (Ops().SyncReadRecordByIndex(&rec) != 0 || rec.size > kBlockBufferSize) {
      result = 0;
      break;
    }
    records.insert(records.end(), buffer.begin(), buffer.begin() + rec.size);
    uint8_t* entry = &header[78 + 8 * size_t(i)];
    nb::pdb::Set32(entry, end);
    entry[4] = uint8_t((rec.attributes & 0xF0) | (rec.category & 0x0F));
    end += rec.size;
  }
  if (result) {
    header.insert(header.end(), app.begin(), app.end());
    header.insert(header.end(), records.begin(), records.end());
    std::string error;
    if (!nb::WriteFileDurably(
            path, std::string_view(reinterpret_cast<const char*>(header.data()), header.size()),
            &error)) {
      const int cause = errno;
      Log(error, 13, true);
      Log(WriteErrorText(cause), 13, true);
      result = 0;
    }
  }
  Ops().SyncCloseDB(handle);
  return result;
}

}  // namespace

int DownloadTable(const std::string& file, uint32_t creator, const std::string& plugin,
                  uint32_t flags, uint32_t major, uint32_t minor) {
  std::string pdb_path;
  if (!WriteDatabaseFile(file, creator, plugin, flags, major, minor, Binding::kDownload, &pdb_path))
    return 0;
  std::vector<uint8_t> bytes;
  if (!ReadWhole(pdb_path, &bytes)) return 0;
  return SendDatabaseFile(bytes);
}

int UploadTable(const std::string& file, uint32_t creator, const std::string& plugin,
                uint32_t major, uint32_t minor) {
  DevicePlugin device(plugin, Binding::kUpload);
  if (!device.object()) return 0;
  if (!device.object()->CanGetTable()) {
    char text[1100];
    std::snprintf(text, sizeof text,
                  "GetTableFromPalmPilot() is not supported by device database plugin: \"%s\"",
                  plugin.c_str());
    nb::ui::MessageBox("Nimbra Conduit Error", text, nb::ui::Icon::kNone);
    Log(text, 17, true);
    return 0;
  }
  const std::string pdb_path = nb::MapPath(DatabaseFilePath(file, creator, major, minor));
  const std::string name = DatabaseName(file, creator, major, minor, '_', true);
  if (!ReceiveDatabaseFile(name, pdb_path)) return 0;
  try {
    return device.object()->GetTableFromPalmPilot(name.c_str(), pdb_path.c_str(),
                                                  nb::MapPath(file).c_str(),
                                                  nb::MapPath(TablePluginPath(file)).c_str())
               ? 1
               : 0;
  } catch (const CNbddb_Exception& e) {
    ReportPluginException(e.code(), e.text(), 17);
    return 0;
  }
}

int WriteTableFile(const std::string& file, uint32_t creator, const std::string& plugin,
                   uint32_t flags, uint32_t major, uint32_t minor) {
  std::string pdb_path;
  return WriteDatabaseFile(file, creator, plugin, flags, major, minor, Binding::kWriteFile,
                           &pdb_path);
}

}  // namespace conduit
