// One dBASE table file with its memo file: create, open (the header area is read and
// checked against the file), read record i (raw bytes or decoded values, with its
// deletion flag), append, rewrite record i in place, mark record i deleted, close.
//
// Memory stays bounded whatever the table's size: reads go through a read-ahead window
// of about 64 KiB and appends through a buffer of the same size.
//
// Records and fields are cut by the file's own record length and column lengths, so a
// table written by another program reads field by field as its header describes it. A
// header length beyond the file, descriptors that do not fit the header, or columns wider
// than the record make Open fail with a reason in error(); a record count larger than
// the records present is cut to those present.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dbase/file.h"
#include "dbase/format.h"
#include "dbase/memo.h"
#include "nbddb/field.h"

namespace dbase {

class Table {
 public:
  Table() = default;
  // Pending appends reach the file, but the headers are not brought up to date.
  ~Table();
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  // A new table and, when a field needs one, a new memo file, built beside an old table
  // at path and left open for appends; Close(true) puts them in place (replace.h), until
  // then the old table stays as it is. Fails for a field type the format does not know, a
  // schema too large for the header's 16-bit lengths, or a path that is a link.
  bool Create(const std::string& path, const std::vector<FieldDesc>& schema);
  // An existing table; `writable` allows appends, rewrites and deletion marks. A
  // replacement that a killed writer left pending is finished first (noted on stderr).
  bool Open(const std::string& path, bool writable);
  // When something was written and `update_headers` is set: writes the header with the
  // record count, the 0x1A end byte and the memo header. A created table is synced and put
  // in place, or with `update_headers` unset dropped. Closes both files. False when a
  // write failed; a created table then leaves the old one untouched.
  bool Close(bool update_headers = true);
  bool is_open() const { return file_.is_open(); }

  // The reason of the last failure.
  const std::string& error() const { return error_; }
  const Header& header() const { return header_; }
  const std::vector<Column>& columns() const { return columns_; }
  // The columns as fields of the desktop-database interface (or the schema of Create).
  const std::vector<FieldDesc>& fields() const { return fields_; }
  size_t record_length() const { return record_length_; }
  // Records present, deleted ones included: the header's count, cut to the file.
  size_t record_count() const { return count_; }
  // Memo entries carry FF FF 08 00 headers.
  bool tagged_memos() const { return (header_.version & kMemoEntryBit) != 0; }

  // Record i's bytes, deletion flag first, record_length() long; valid until the next
  // call. Null when i is not present or the read failed.
  const char* RawRecord(size_t i);
  // Column j's bytes inside a raw record.
  std::string_view FieldBytes(const char* raw, size_t j) const;
  // True for columns whose bytes are a memo block number ('M' and 'G').
  bool IsMemoColumn(size_t j) const;
  // The value of memo column j from its bytes: Text for 'M' (null for block 0), Binary
  // for 'G' (no bytes for block 0); null when the entry cannot be read.
  FieldValue MemoValue(size_t j, std::string_view bytes);

  // Record i decoded, one value per column; a column of unknown type gives null and is
  // counted in *unknown. False when i is not present.
  bool ReadRecord(size_t i, std::vector<FieldValue>* values, bool* deleted,
                  size_t* unknown = nullptr);

  // A null Logical is written "F" by default, as the store writes it; with this set it
  // is written blank, the form other dBASE readers take for "no value".
  void set_blank_null_logicals(bool blank) { blank_null_logicals_ = blank; }

  // One value per field, in schema order; memo values go to the memo file.
  bool AppendRecord(const std::vector<FieldValue>& values);
  // Replaces record i's values, keeping its deletion flag and the bytes of columns of
  // unknown type. Memo values get new entries.
  bool RewriteRecord(size_t i, const std::vector<FieldValue>& values);
  bool MarkDeleted(size_t i, bool deleted = true);

 private:
  bool Fail(std::string reason);
  bool Encode(const std::vector<FieldValue>& values, char* out);
  bool Flush();
  bool EnsureMemoWritable();
  bool EnsureMemoReadable();
  void Forget();
  // Puts a created table's closed files in place when `commit`, else removes them and
  // fails with errno value `err` when it is not 0.
  bool Finish(bool commit, int err);
  uint64_t RecordOffset(size_t i) const {
    return header_.header_length + uint64_t(i) * record_length_;
  }

  File file_;
  MemoFile memo_;
  std::string path_;
  std::string memo_path_;
  std::string table_name_;
  std::string table_temp_;  // a created table's files until Close puts them in place
  std::string memo_temp_;
  bool writable_ = false;
  bool blank_null_logicals_ = false;
  bool dirty_ = false;
  bool memo_writable_ = false;
  bool memo_missing_ = false;
  Header header_;
  std::vector<Column> columns_;
  std::vector<FieldDesc> fields_;
  std::vector<size_t> offsets_;  // of each column inside a record
  size_t record_length_ = 1;
  size_t count_ = 0;
  std::string error_;

  std::vector<char> window_;  // records window_first_ .. + window_count_
  size_t window_first_ = 0;
  size_t window_count_ = 0;
  std::vector<char> pending_;  // appended records not yet written
  std::vector<char> scratch_;
  std::vector<uint8_t> memo_data_;  // the last memo read
};

// A table changed in place (rows rewritten, marked deleted or appended) is closed without
// an fsync: its changes come a row at a time, and a sync per row would cost a disk flush per
// row. Such tables and their memo files are noted, process-wide, until SyncChangedTables
// brings each to the disk with one fsync: call it before anything that depends on the
// changes is made durable, and before the work is reported done. False, with *error naming
// the file and the reason, when one cannot be synced; it stays noted, the others are synced.
bool SyncChangedTables(std::string* error = nullptr);

}  // namespace dbase
