// The memo file (.dbt) beside a table: 512-byte blocks, block 0 the header (next free
// block, table name, block size), each entry starting on a block. Entries we write carry
// FF FF 08 00 and their length; entries of tables without the 0x08 version bit run up to
// two 0x1A bytes. Reads are bounded: a block beyond the file, a missing entry header or a
// short file give no data or the bytes present, never a read outside the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dbase/file.h"

namespace dbase {

inline constexpr size_t kMemoBlockSize = 512;
inline constexpr size_t kMemoHeaderSize = 152;
inline constexpr size_t kMemoReadLimit = 64511;  // longest memo handed out

// The memo path for a table path: the extension replaced by ".dbt".
std::string MemoPathFor(const std::string& table_path);
// The memo file that exists beside a table, its name compared without regard to case
// (files copied from Windows often end in ".DBT"); MemoPathFor when there is none.
std::string ExistingMemoPathFor(const std::string& table_path);
// The table name a memo header carries: the first 8 characters of the base name.
std::string TableNameFor(const std::string& table_path);

class MemoFile {
 public:
  // A new, empty memo file (block 0 written); truncates an existing one.
  bool Create(const std::string& path, const std::string& table_name);
  // The same under a temporary name beside `path` (*temp), for a table built beside its
  // old version; the caller removes *temp when it is not used.
  bool CreateBeside(const std::string& path, const std::string& table_name, std::string* temp);
  // An existing memo file; writable for further entries when `writable`.
  bool Open(const std::string& path, bool writable);
  bool is_open() const { return file_.is_open(); }
  // Writes the header back when entries were added, syncs the file when `sync`, then
  // closes.
  bool Close(bool write_header, bool sync = false);

  // Appends an entry; its block number, 0 for no data, nullopt on a write failure.
  std::optional<uint32_t> Write(const void* data, size_t size);

  // The entry at block (at most kMemoReadLimit bytes). `tagged` says the entries carry
  // FF FF 08 00 headers. Nothing when the entry cannot be read.
  std::optional<std::vector<uint8_t>> Read(uint32_t block, bool tagged) const;
  // Read into *data, reusing its storage; false when the entry cannot be read. Entries
  // are read through a small read-ahead window, so reading them in file order costs one
  // read for many entries.
  bool ReadInto(uint32_t block, bool tagged, std::vector<uint8_t>* data) const;

  uint32_t next_free_block() const { return next_free_; }

 private:
  bool WriteHeader();
  // Block 0 of a new file.
  bool Start(const std::string& table_name);
  // Bytes at..at+n of the file through the window: *got of them, fewer at the end.
  const uint8_t* Window(uint64_t at, size_t n, size_t* got) const;

  File file_;
  bool writable_ = false;
  bool dirty_ = false;
  uint32_t next_free_ = 1;
  uint32_t block_size_ = kMemoBlockSize;
  uint8_t header_[kMemoHeaderSize] = {};
  mutable std::vector<uint8_t> window_;
  mutable uint64_t window_at_ = 0;
  mutable size_t window_length_ = 0;
};

}  // namespace dbase
