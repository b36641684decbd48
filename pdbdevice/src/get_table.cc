// Handheld table database file -> desktop table.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "messages.h"
#include "nbddb/plugin.h"
#include "platform/os.h"
#include "platform/prefix.h"
#include "table_conversion.h"
#include "table_format.h"

namespace pdbdevice {
namespace {

enum class ReadResult { kOk, kNoFile, kEmpty, kNoMemory, kShort };

ReadResult ReadWhole(const std::string& path, std::vector<uint8_t>* bytes) {
  nb::Os& os = nb::TheOs();
  const int fd = os.Open(path.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) return ReadResult::kNoFile;
  struct stat st;
  ReadResult result = ReadResult::kOk;
  if (nb::TheOs().Fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    result = ReadResult::kNoFile;
  } else if (st.st_size == 0) {
    result = ReadResult::kEmpty;
  } else {
    try {
      bytes->resize(size_t(st.st_size));
    } catch (const std::bad_alloc&) {
      result = ReadResult::kNoMemory;
    }
  }
  size_t done = 0;
  while (result == ReadResult::kOk && done < bytes->size()) {
    const ssize_t n = os.Read(fd, bytes->data() + done, bytes->size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) result = ReadResult::kShort;
    if (n > 0) done += size_t(n);
  }
  os.Close(fd);
  return result;
}

}  // namespace

bool GetTable(const std::string& pdb_path, const std::string& table_path,
              const std::string& nbddb_library) {
  std::vector<uint8_t> file;
  switch (ReadWhole(nb::MapPath(pdb_path), &file)) {
    case ReadResult::kNoFile:
      ShowError("Unable to open PDB file", pdb_path);
      return false;
    case ReadResult::kEmpty:
      ShowError("PDB file is empty", pdb_path);
      return false;
    case ReadResult::kNoMemory:
      ShowError("No memory to read in the PDB file", pdb_path);
      return false;
    case ReadResult::kShort:
      ShowError("Unable to read all of PDB file", pdb_path);
      return false;
    case ReadResult::kOk:
      break;
  }

  DecodedTable decoded;
  std::string why;
  try {
    if (!DecodeTableFile(file, &decoded, &why)) {
      ShowError("PDB file is damaged (" + why + ")", pdb_path);
      return false;
    }
  } catch (const std::bad_alloc&) {
    ShowError("No memory to read in the PDB file", pdb_path);
    return false;
  }
  file.clear();
  file.shrink_to_fit();
  for (char letter : decoded.schema.letters) {
    uint8_t type;
    if (!FieldTypeFor(letter, &type)) ShowError("Unknown field type", pdb_path);
  }

  CNbddbPlugin table(nbddb_library);
  for (const FieldDesc& f : decoded.schema.fields) table.AddField(f);
  if (!table.Create(nb::MapPath(table_path), false)) {
    ShowError("Unable to create a new table in desktop file", pdb_path);
    return false;
  }
  for (size_t i = 0; i < decoded.records.size(); ++i) {
    if (!table.AddRecord(decoded.records[i])) {
      // Dropped unfinished: the old table stays.
      table.Reset();
      ShowError(Format("Unable to add record %zu to the desktop table", i + 1), pdb_path);
      return false;
    }
  }
  // A store that could not put the new table in place has said why; the old one stays.
  if (!table.Close()) {
    ShowError("Unable to create a new table in desktop file", pdb_path);
    return false;
  }
  return true;
}

}  // namespace pdbdevice
