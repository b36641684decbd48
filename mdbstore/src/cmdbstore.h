// Cmdbstore: the desktop-database table object that keeps a table as the table "NBTable"
// of a database file (".mdb"; an SQLite database, see data/data_access.h). Everything
// written between Create (or Open for writing) and Close is one transaction: Close commits
// it, and a failed AddRecord, a failed commit or destruction without Close leaves the
// file as it was. Problems are shown in message boxes and returned as results; nothing is
// thrown.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "data/data_access.h"
#include "nbddb/nbddb.h"

class Cmdbstore : public CNbddb {
 public:
  Cmdbstore() = default;
  ~Cmdbstore() override;

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

 private:
  // Opens the connection, catalog and row set; shows the failure and closes on error.
  bool OpenTable(const std::string& path, bool writable);
  void ReadSchema();
  // The row set's columns are the schema's field names, prepared once per open table.
  void BindColumns();
  void Release();

  std::string path_;
  bool read_only_ = false;
  bool writing_ = false;       // a transaction is open
  bool write_failed_ = false;  // so Close rolls it back
  bool read_failure_shown_ = false;
  bool unknown_type_reported_ = false;
  bool columns_bound_ = false;
  std::vector<FieldDesc> fields_;
  std::vector<FieldValue> record_;
  std::unique_ptr<mdb::data::Connection> connection_;
  std::unique_ptr<mdb::data::Catalog> catalog_;
  std::unique_ptr<mdb::data::RowSet> rows_;
};
