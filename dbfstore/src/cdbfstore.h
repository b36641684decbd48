// Cdbfstore: the desktop-database table object that keeps a table as a dBASE file with a
// memo file beside it. A table is either written once (AddField..., Create, AddRecord...,
// Close) or read record by record (Open read-only or OpenForRead, navigation, GetRecord,
// Close). Problems are shown in message boxes and returned as results; nothing is thrown.
// A written table replaces the old one at Close, whole; when it cannot, the old one stays,
// the failure is shown, Close returns false and the schema is forgotten.
#pragma once

#include <string>
#include <vector>

#include "dbase/table.h"
#include "nbddb/nbddb.h"

class Cdbfstore : public CNbddb {
 public:
  Cdbfstore() = default;
  // Closes an open table without bringing its headers up to date.
  ~Cdbfstore() override = default;

  bool Create(const std::string& path, bool replace) override;
  bool Open(const std::string& path, bool read_only) override;
  bool Close() override;
  void Reset() override;
  bool IsValidFileName(const std::string& name, const std::string& extension,
                       bool show_message) override;
  std::string MakeFileName(const std::string& name, const std::string& extension) override;
  bool AddField(const FieldDesc& desc) override;
  int GetFieldCount() override;
  const std::vector<FieldDesc>& GetFields() override;
  bool AddRecord(const std::vector<FieldValue>& record) override;
  int GetRecordCount() override;
  const std::vector<FieldValue>& GetRecord() override;
  int MoveFirst() override;
  int MoveLast() override;
  int MoveNext() override;
  int MovePrev() override;
  bool OpenForRead(const std::string& path) override;
  std::string GetFilterText() override;
  std::string GetExtension() override;
  bool QueryStoreFlag() override;

  // Turns a field's stored text into a value of its type and appends it to the current
  // record; false (and a report) for a type this store cannot build.
  bool AddValue(const char* raw, size_t length, uint8_t type, uint8_t decimals);

 private:
  bool OpenTable(const std::string& path, bool writable);
  void MapColumns();
  // The next value of the record being read.
  FieldValue* Slot() {
    if (filled_ == record_.size()) record_.emplace_back();
    return &record_[filled_++];
  }

  // Where each column of an opened table lies in its records.
  struct Column {
    size_t offset, length;
    bool memo;
  };

  dbase::Table table_;
  std::vector<Column> columns_;
  std::vector<FieldDesc> fields_;
  std::vector<char> bytes_;         // the current record's raw bytes
  std::vector<FieldValue> record_;  // its first filled_ values are the current record's
  size_t filled_ = 0;
  size_t record_length_ = 1;  // built by AddField: the deletion flag plus each field
  bool memo_ = false;
  bool read_only_ = false;
  bool unknown_type_reported_ = false;
  size_t position_ = 0;  // index of the current record
  std::string path_;     // as the caller named the table
};
