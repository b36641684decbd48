// Application download: the application file's header is checked, the file refused when
// it is larger than an application can be, else read whole and turned into the forms and
// resource databases (application/app_image.h); this writes them through the current
// SyncOps, showing each failure and still running the steps after it.
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "application/app_image.h"
#include "conduit_error.h"
#include "dispatch.h"
#include "pdbfile/bytes.h"
#include "platform/os.h"
#include "platform/prefix.h"
#include "platform/ui.h"
#include "sync_ops.h"
#include "table_names.h"

namespace conduit {
namespace {

constexpr char kTooBig[] =
    "Unable to generate NB application PDB. You may have too many objects in your "
    "application.\n\nThe combined size of all objects including fields in tables must not "
    "exceed 64K.";

void LogCopyFailed(const std::string& name) {
  Log("Copy app \"" + name + "\" to Handheld - FAILED", -1, false);
}

// The largest application file read. The format alone bounds a file only at gigabytes
// (65,535 forms of 64,512 bytes, bitmaps of 65,535 bytes each), but an application's two
// databases have to fit into the handheld's memory, and the file is read whole: 64 MiB is
// far beyond any application and still small enough to hold.
constexpr off_t kMaxApplicationFile = off_t(64) << 20;
constexpr char kTooLarge[] = " is larger than an application file can be (more than 64 MiB)";

// The application file into *bytes: 0 read, 1000 not opened or not read, 1300 not
// closed, 1010 larger than an application. A file that is no application is read only
// as far as its header, which then tells the reader why.
int ReadApplicationFile(const std::string& path, std::vector<uint8_t>* bytes) {
  nb::Os& os = nb::TheOs();
  const int fd = os.Open(path.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) return 1000;
  bool read_error = false;
  auto read_up_to = [&](size_t size) {
    uint8_t chunk[65536];
    while (bytes->size() < size) {
      const ssize_t n = os.Read(fd, chunk, std::min(sizeof chunk, size - bytes->size()));
      if (n < 0 && errno == EINTR) continue;
      read_error = n < 0;
      if (n <= 0) return;
      bytes->insert(bytes->end(), chunk, chunk + n);
    }
  };
  int result = 0;
  read_up_to(app::kHeaderSize);
  if (!read_error && app::HeaderProblem(*bytes) == 0) {
    struct stat st;
    const bool known = os.Stat(path.c_str(), &st) == 0;
    if (known && st.st_size > kMaxApplicationFile) {
      result = 1010;
    } else {
      if (known) bytes->reserve(size_t(st.st_size));
      // The size seen is not trusted: the file may grow while it is read.
      read_up_to(size_t(kMaxApplicationFile) + 1);
      if (bytes->size() > size_t(kMaxApplicationFile)) result = 1010;
    }
  }
  if (os.Close(fd) != 0 && result == 0) return 1300;
  return read_error && result == 0 ? 1000 : result;
}

// Deletes any database of that name, then creates it; false when it cannot be created.
bool Create(const std::string& name, uint32_t creator, uint32_t type, uint16_t flags,
            uint8_t* handle) {
  Ops().SyncDeleteDB(name.c_str(), 0);
  SyncCreateInfo create{};
  std::strncpy(create.name, name.c_str(), sizeof create.name - 1);
  create.creator = creator;
  create.type = type;
  create.flags = flags;
  create.card = 0;
  if (Ops().SyncCreateDB(&create) != 0) return false;
  *handle = create.handle;
  return true;
}

bool WriteRecord(uint8_t handle, const std::vector<uint8_t>& data, uint32_t res_type = 0,
                 uint16_t res_id = 0) {
  SyncRecord rec{};
  rec.handle = handle;
  rec.buffer = const_cast<uint8_t*>(data.data());
  rec.size = rec.buffer_size = uint32_t(data.size());
  rec.res_type = res_type;
  rec.res_id = res_id;
  return Ops().SyncWriteRec(&rec) == 0;
}

}  // namespace

int DownloadApplication(const std::string& file, uint32_t creator, uint32_t flags, uint32_t major,
                        uint32_t minor) {
  std::vector<uint8_t> bytes;
  const int read = ReadApplicationFile(nb::MapPath(file), &bytes);
  if (read == 1000 || read == 1010) {
    ShowError(read, read == 1010 ? file + kTooLarge : file);
    LogCopyFailed("");
    return 0;
  }
  const std::string forms_db = DatabaseName(file, creator, major, minor, '$', true);
  const std::string resource_db = DatabaseName(file, creator, major, minor, '#', true);
  app::Image image = app::ReadApplication(bytes, {resource_db, creator, major, minor});
  auto show_problems = [&] {
    for (const app::Problem& p : image.problems.list())
      ShowError(p.code, p.code == 1010 || p.code == 1020 ? file : p.detail);
  };
  if (image.stage == app::Image::Stage::kNotApplication) {
    show_problems();
    LogCopyFailed("");
    return 0;
  }

  if (image.stage == app::Image::Stage::kNoInfoBlock) {
    // No forms database, neither an older one nor an empty new one: a database file
    // written on close could not be taken back.
    Ops().SyncDeleteDB(forms_db.c_str(), 0);
    show_problems();
    if (image.info_overflow)
      nb::ui::TimedMessageBox("Nimbra Conduit Error", kTooBig, nb::ui::Icon::kError, 10);
    LogCopyFailed(forms_db);
    return 0;
  }
  int result = 1;
  const uint16_t attributes = flags & 1 ? kDbBackup : 0;
  uint8_t forms = 0;
  const bool created = Create(forms_db, creator, nb::pdb::FourCC("FORM"), attributes, &forms);
  if (!created) {
    ShowError(1030, forms_db);
    result = 0;
  }
  show_problems();
  if (!image.problems.list().empty()) result = 0;

  if (created) {
    SyncBlock info{image.app_info.data(), uint32_t(image.app_info.size()),
                   uint32_t(image.app_info.size())};
    if (Ops().SyncWriteDBAppInfoBlock(forms, &info) != 0) {
      ShowError(1090);
      result = 0;
    }
    for (const auto& record : image.forms) {
      if (!WriteRecord(forms, record)) {
        ShowError(1100);
        result = 0;
      }
    }
    if (image.has_menu_record && !WriteRecord(forms, image.menu_record)) {
      ShowError(1100);
      result = 0;
    }
  }
  if (read == 1300) {
    ShowError(1300, file);
    result = 0;
  }
  // Closing is when a database is written; it can fail there.
  if (created && Ops().SyncCloseDB(forms) != 0) result = 0;

  uint8_t resources = 0;
  if (!Create(resource_db, creator, nb::pdb::FourCC("rsrc"), attributes | kDbResource,
              &resources)) {
    ShowError(1030, resource_db);
    return 0;
  }
  for (const app::Resource& r : image.resources) {
    if (!WriteRecord(resources, r.data, r.type, r.id)) {
      result = 0;
      break;
    }
  }
  if (Ops().SyncCloseDB(resources) != 0) result = 0;
  return result;
}

}  // namespace conduit
