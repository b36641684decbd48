// Handheld table database file -> desktop table.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "messages.h"
#include "nbddb/plugin.h"
#include "pdbfile/pdbfile.h"
#include "platform/prefix.h"
#include "table_conversion.h"
#include "table_format.h"

namespace pdbdevice {
namespace {

enum class ReadResult { kOk, kNoFile, kEmpty, kNoMemory, kShort };

ReadResult ReadWhole(const std::string& path, std::vector<uint8_t>* bytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return ReadResult::kNoFile;
  struct stat st;
  ReadResult result = ReadResult::kOk;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
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
    const ssize_t n = ::read(fd, bytes->data() + done, bytes->size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) result = ReadResult::kShort;
    if (n > 0) done += size_t(n);
  }
  ::close(fd);
  return result;
}

// The whole table as the file holds it, checked before anything is written.
struct Table {
  TableSchema schema;
  std::vector<std::vector<FieldValue>> records;
};

bool Decode(const std::vector<uint8_t>& file, Table* table, std::string* why) {
  auto db = nb::pdb::Parse(file, why);
  if (!db) return false;
  if (db->IsResource()) {
    *why = "a resource database, not a table";
    return false;
  }
  if (db->app_info.empty()) {
    *why = "no table-info block";
    return false;
  }
  if (!DecodeTableInfo(db->app_info, &table->schema, why)) return false;
  const std::vector<char>& letters = table->schema.letters;
  for (size_t r = 0; r < db->records.size(); ++r) {
    const nb::pdb::Record& record = db->records[r];
    if (record.attributes & kDeletedAttribute) continue;
    std::vector<FieldValue> values(letters.size());
    size_t pos = 0;
    for (size_t f = 0; f < letters.size(); ++f) {
      std::span<const uint8_t> item;
      if (!NextItem(record.data, &pos, &item)) {
        *why = "field " + std::to_string(f + 1) + " runs past the end of record " +
               std::to_string(r + 1);
        return false;
      }
      if (!DecodeItem(letters[f], item, &values[f])) {
        *why = "field " + std::to_string(f + 1) + " of record " + std::to_string(r + 1) +
               " is too short for its type";
        return false;
      }
    }
    table->records.push_back(std::move(values));
  }
  return true;
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

  Table decoded;
  std::string why;
  try {
    if (!Decode(file, &decoded, &why)) {
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
      table.Close();
      ShowError(Format("Unable to add record %zu to the desktop table", i + 1), pdb_path);
      return false;
    }
  }
  table.Close();
  return true;
}

}  // namespace pdbdevice
