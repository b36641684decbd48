// The Palm OS database file (.pdb record database, .prc resource database) as the
// handheld's backup files hold it: a 78-byte header, the record list, two filler bytes,
// the application-info and sort-info blocks, then the records' data.
// Parse checks every offset it uses against the file before using it and fails with a
// reason instead of reading out of bounds; Serialize lays the parts out in that order with
// fresh offsets.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace nb::pdb {

constexpr size_t kHeaderSize = 78;
constexpr size_t kMaxNameLength = 31;  // the name field holds 32 bytes, NUL included
constexpr size_t kRecordEntrySize = 8;
constexpr size_t kResourceEntrySize = 10;
constexpr uint16_t kAttrResource = 0x0001;
constexpr uint8_t kRecordDeleted = 0x80;  // in a record entry's attribute byte
// Seconds between 1 January 1904 (the handheld's epoch) and 1 January 1970.
constexpr uint32_t kEpochDelta = 2082844800u;

struct Record {
  std::vector<uint8_t> data;
  uint8_t attributes = 0;  // high nibble of the entry's attribute byte (0x80 deleted)
  uint8_t category = 0;    // low nibble
  uint32_t unique_id = 0;  // 24 bits
  uint32_t res_type = 0;   // resource databases
  uint16_t res_id = 0;
};

struct Database {
  std::string name;  // at most kMaxNameLength characters
  uint16_t attributes = 0;
  uint16_t version = 0;
  uint32_t created = 0, modified = 0, backed_up = 0;
  uint32_t mod_number = 0;
  uint32_t type = 0, creator = 0;
  uint32_t unique_id_seed = 0;
  std::vector<uint8_t> app_info;
  std::vector<uint8_t> sort_info;
  std::vector<Record> records;

  bool IsResource() const { return attributes & kAttrResource; }
};

// A database name as the handheld keeps it: its first kMaxNameLength characters. Every
// name that is formed or written into a file header is cut by this.
inline std::string HandheldName(std::string_view name) {
  return std::string(name.substr(0, kMaxNameLength));
}

// Parses a whole file; pure over the bytes. Blocks may lie in any order: each runs to the
// next block's start in the file (or to its end). The application-info block and every
// record not marked deleted must start inside the file after the record list, else the
// parse fails with the reason. A deleted entry that points nowhere gets no data, and a
// sort-info offset that points nowhere or into a record is ignored (sort_info empty).
std::optional<Database> Parse(std::span<const uint8_t> file, std::string* error);

// Details in which writers of the format differ.
struct Layout {
  uint16_t filler = 0;  // the two bytes after the record list
  // Record databases: an application-info offset (just after the filler) even when the
  // block is empty.
  bool app_info_offset_always = false;
};

// The file bytes of db (next record list 0).
std::vector<uint8_t> Serialize(const Database& db, const Layout& layout = {});

// Reads and parses a file; error gets the reason on failure.
std::optional<Database> ReadFile(const std::string& path, std::string* error);
// Writes the file durably (platform/os.h): the old file stays whole until the new one is
// complete. Returns false with errno kept and *error naming the file on failure.
bool WriteFile(const std::string& path, const Database& db, const Layout& layout = {},
               std::string* error = nullptr);

// Now as the handheld's clock counts: seconds since 1 January 1904 in local time.
uint32_t LocalTimeNow();

}  // namespace nb::pdb
