#include "cdbfstore.h"

#include <climits>
#include <new>

#include "dbase/format.h"
#include "dbase/values.h"
#include "messages.h"
#include "platform/prefix.h"

bool Cdbfstore::Create(const std::string& path, bool /*replace*/) {
  if (table_.is_open()) table_.Close(!read_only_);
  read_only_ = false;
  position_ = 0;
  record_.clear();
  const bool created = table_.Create(nb::MapPath(path), fields_);
  path_ = path;
  MapColumns();
  return created;
}

void Cdbfstore::MapColumns() {
  columns_.clear();
  size_t offset = 1;
  for (size_t j = 0; j < table_.columns().size(); ++j) {
    const size_t length = table_.columns()[j].length;
    columns_.push_back({offset, length, table_.IsMemoColumn(j)});
    offset += length;
  }
}

bool Cdbfstore::OpenTable(const std::string& path, bool writable) {
  if (table_.is_open()) table_.Close(!read_only_);
  position_ = 0;
  record_.clear();
  unknown_type_reported_ = false;
  try {
    if (!table_.Open(nb::MapPath(path), writable)) return false;
  } catch (const std::bad_alloc&) {
    dbfstore::ShowWarning(dbfstore::kOutOfMemory);
    table_.Close(false);
    fields_.clear();
    return true;
  }
  // The file's own field list is the schema, rebuilt as AddField would.
  fields_.clear();
  record_length_ = 1;
  memo_ = false;
  for (const FieldDesc& field : table_.fields()) AddField(field);
  MapColumns();
  return true;
}

bool Cdbfstore::Open(const std::string& path, bool read_only) {
  if (!OpenTable(path, !read_only)) return false;
  read_only_ = read_only;
  path_ = path;
  return true;
}

bool Cdbfstore::OpenForRead(const std::string& path) {
  // Read-only on disk too: a table that is only read need not be writable.
  if (!OpenTable(path, false)) {
    dbfstore::ShowWarning(dbfstore::OpenFailedText(path));
    return false;
  }
  read_only_ = true;
  return true;
}

bool Cdbfstore::Close() {
  const bool written = table_.is_open() && !read_only_;
  position_ = 0;
  if (table_.Close(written) || !written) return true;
  dbfstore::ShowWarning(dbfstore::WriteFailedText(path_, table_.error()));
  // Forgotten too, for writers that look at GetFieldCount() rather than the result.
  Reset();
  return false;
}

void Cdbfstore::Reset() {
  table_.Close(false);
  columns_.clear();
  fields_.clear();
  record_.clear();
  record_length_ = 1;
  memo_ = false;
  read_only_ = false;
  unknown_type_reported_ = false;
  position_ = 0;
}

bool Cdbfstore::AddField(const FieldDesc& desc) {
  fields_.push_back(desc);
  record_length_ += dbase::RecordWidth(desc);
  memo_ = memo_ || dbase::UsesMemo(desc);
  return true;
}

int Cdbfstore::GetFieldCount() { return int(fields_.size()); }

const std::vector<FieldDesc>& Cdbfstore::GetFields() { return fields_; }

bool Cdbfstore::AddRecord(const std::vector<FieldValue>& record) {
  if (read_only_ || !table_.is_open()) return false;
  return table_.AppendRecord(record);
}

int Cdbfstore::GetRecordCount() {
  size_t live = 0;
  for (size_t i = 0, n = table_.record_count(); i < n; ++i) {
    const char* raw = table_.RawRecord(i);
    if (!raw) break;
    live += raw[0] != dbase::kDeletedFlag;
  }
  return live > size_t(INT_MAX) ? INT_MAX : int(live);
}

const std::vector<FieldValue>& Cdbfstore::GetRecord() {
  const char* raw = nullptr;
  size_t i = position_;
  while ((raw = table_.RawRecord(i)) && raw[0] == dbase::kDeletedFlag) ++i;
  position_ = i;
  if (!raw) {
    record_.clear();
    return record_;
  }
  // Memo reads may move the table's read window: keep this record's bytes.
  bytes_.assign(raw, raw + table_.record_length());
  // The values of the last record are overwritten in place, their text storage reused.
  filled_ = 0;
  const std::vector<FieldDesc>& fields = table_.fields();
  for (size_t j = 0; j < columns_.size() && j < fields.size(); ++j) {
    const Column& c = columns_[j];
    const char* field = bytes_.data() + c.offset;
    if (c.memo) {
      *Slot() = table_.MemoValue(j, std::string_view(field, c.length));
    } else if (fields[j].type <= FieldType::TimeStamp) {
      dbase::ParseValueInto(field, c.length, fields[j].type, fields[j].decimals, Slot());
    } else if (!AddValue(field, c.length, fields[j].type, fields[j].decimals)) {
      // One value per field, whatever the column holds.
      *Slot() = FieldValue::Null();
    }
  }
  record_.resize(filled_);
  return record_;
}

bool Cdbfstore::AddValue(const char* raw, size_t length, uint8_t type, uint8_t decimals) {
  if (type > FieldType::TimeStamp) {
    // Once per table: a column of an unknown type would otherwise report on every record.
    if (!unknown_type_reported_) dbfstore::ShowDllError(dbfstore::kUnknownType);
    unknown_type_reported_ = true;
    return false;
  }
  FieldValue* value = Slot();
  if (!dbase::ParseValueInto(raw, length, type, decimals, value)) *value = FieldValue::Null();
  return true;
}

int Cdbfstore::MoveFirst() {
  if (table_.record_count() == 0) return NavStatus::NoRecords;
  position_ = 0;
  return NavStatus::Done;
}

int Cdbfstore::MoveLast() {
  if (table_.record_count() == 0) return NavStatus::NoRecords;
  position_ = table_.record_count() - 1;
  return NavStatus::Done;
}

int Cdbfstore::MoveNext() {
  if (table_.record_count() == 0) return NavStatus::NoRecords;
  if (position_ + 1 >= table_.record_count()) return NavStatus::AtLast;
  ++position_;
  return NavStatus::Done;
}

int Cdbfstore::MovePrev() {
  if (table_.record_count() == 0) return NavStatus::NoRecords;
  if (position_ == 0) return NavStatus::AtFirst;
  --position_;
  return NavStatus::Done;
}

std::string Cdbfstore::GetFilterText() { return "dBase V (*.dbf)"; }

std::string Cdbfstore::GetExtension() { return "DBF"; }

bool Cdbfstore::QueryStoreFlag() { return false; }
