#include "cmdbstore.h"

#include <sys/stat.h>

#include <algorithm>

#include "columns.h"
#include "messages.h"
#include "platform/os.h"
#include "platform/prefix.h"

using mdb::data::Error;
using namespace mdbstore;

namespace {

constexpr const char* kTable = "NBTable";
// The platform's code for an object that could not be obtained.
constexpr unsigned kNoObject = 0x80004003u;

void ShowNoEngine() { Show(Format(kNoEngine, kNoObject, "Unknown error 0x80004003")); }

}  // namespace

Cmdbstore::~Cmdbstore() { Release(); }

void Cmdbstore::Release() {
  rows_.reset();
  catalog_.reset();
  if (connection_) connection_->Close();
  connection_.reset();
  writing_ = false;
  write_failed_ = false;
  read_failure_shown_ = false;
  columns_bound_ = false;
}

bool Cmdbstore::Create(const std::string& path, bool replace) {
  // A table still open is finished first; the schema is the new table's either way.
  std::vector<FieldDesc> fields = std::move(fields_);
  Close();
  fields_ = std::move(fields);
  read_only_ = false;
  unknown_type_reported_ = false;
  record_.clear();
  const std::string file = nb::MapPath(path);
  std::unique_ptr<mdb::data::Connection> connection = mdb::data::Connection::New();
  if (!connection) return ShowNoEngine(), false;

  struct stat st;
  const bool exists = nb::TheOs().Stat(file.c_str(), &st) == 0;
  try {
    if (exists)
      connection->Open(file, false);
    else
      connection->CreateDatabase(file);
  } catch (const Error& e) {
    if (exists)
      ShowCreateTableFailure(path, e);
    else
      Show(e.code ? Format(kCreateDatabaseFailed, path.c_str(), SystemText(e).c_str())
                  : Format(kCreateDatabasePlain, path.c_str()));
    return false;
  }

  std::unique_ptr<mdb::data::Catalog> catalog;
  try {
    connection->BeginTrans();
    catalog = connection->OpenCatalog();
    if (replace) catalog->DropTable(kTable);
  } catch (const Error& e) {
    if (replace && e.busy)
      Show(Format(kTableInUse, path.c_str(), e.code, SystemText(e).c_str()));
    else
      ShowCreateTableFailure(path, e);
    return false;
  }
  try {
    std::vector<mdb::data::Column> columns;
    for (const FieldDesc& f : fields_) columns.push_back(ColumnFor(f));
    bool make = replace || !catalog->HasTable(kTable);
    // A table of other columns (another program's, an older version's) would refuse or
    // change this schema's rows: it is built again, in the same transaction.
    if (!make && !Holds(catalog->Columns(kTable), columns)) {
      catalog->DropTable(kTable);
      make = true;
    }
    if (make) catalog->CreateTable(kTable, columns);
  } catch (const Error& e) {
    ShowCreateTableFailure(path, e);
    return false;
  }

  // From here on the table is open for writing, as Open would leave it.
  connection_ = std::move(connection);
  catalog_ = std::move(catalog);
  writing_ = true;
  path_ = path;
  if (!replace) {
    try {
      connection_->Execute("DELETE FROM NBTable");
    } catch (const Error& e) {
      ShowFailure(kEmptyFailed, path, e);
      Release();
      return false;
    }
  }
  try {
    rows_ = connection_->OpenRowSet(kTable);
  } catch (const Error& e) {
    ShowFailure(kOpenFailed, path, e);
    Release();
    return false;
  }
  return true;
}

bool Cmdbstore::OpenTable(const std::string& path, bool writable) {
  Release();
  record_.clear();
  unknown_type_reported_ = false;
  connection_ = mdb::data::Connection::New();
  if (!connection_) return ShowNoEngine(), false;
  try {
    connection_->Open(nb::MapPath(path), !writable);
    catalog_ = connection_->OpenCatalog();
    if (writable) {
      connection_->BeginTrans();
      writing_ = true;
    }
    rows_ = connection_->OpenRowSet(kTable);
  } catch (const Error& e) {
    ShowFailure(kOpenFailed, path, e);
    Release();
    return false;
  }
  path_ = path;
  return true;
}

bool Cmdbstore::Open(const std::string& path, bool read_only) {
  if (!OpenTable(path, !read_only)) return false;
  read_only_ = read_only;
  if (read_only) ReadSchema();
  return true;
}

bool Cmdbstore::OpenForRead(const std::string& path) {
  // Read-only on disk too: a table that is only read need not be writable.
  if (!OpenTable(path, false)) {
    ShowWarning(Format(kOpenForReadFailed, path.c_str()));
    return false;
  }
  read_only_ = true;
  ReadSchema();
  return true;
}

void Cmdbstore::ReadSchema() {
  fields_.clear();
  columns_bound_ = false;
  try {
    for (const mdb::data::Column& c : catalog_->Columns(kTable)) fields_.push_back(FieldFor(c));
  } catch (const Error& e) {
    ShowFailure(kReadSchemaFailed, path_, e);
  }
}

bool Cmdbstore::Close() {
  bool finished = !(connection_ && writing_ && write_failed_);
  if (connection_ && writing_ && !write_failed_) {
    rows_.reset();
    catalog_.reset();
    try {
      connection_->CommitTrans();
    } catch (const Error& e) {
      ShowFailure(kWriteFailed, path_, e);
      finished = false;
    }
  }
  Release();
  // Forgotten too, for writers that look at GetFieldCount() rather than the result.
  if (!finished) Reset();
  return finished;
}

void Cmdbstore::Reset() {
  fields_.clear();
  record_.clear();
  read_only_ = false;
  columns_bound_ = false;
}

bool Cmdbstore::AddField(const FieldDesc& desc) {
  fields_.push_back(desc);
  columns_bound_ = false;
  return true;
}

int Cmdbstore::GetFieldCount() { return int(fields_.size()); }

const std::vector<FieldDesc>& Cmdbstore::GetFields() { return fields_; }

void Cmdbstore::BindColumns() {
  if (columns_bound_) return;
  std::vector<std::string> names;
  for (const FieldDesc& f : fields_) names.emplace_back(f.name);
  rows_->SetColumns(names);
  columns_bound_ = true;
}

bool Cmdbstore::AddRecord(const std::vector<FieldValue>& record) {
  if (!rows_ || read_only_) return false;
  try {
    BindColumns();
    rows_->AddNew();
    for (size_t i = 0, n = std::min(record.size(), fields_.size()); i < n; ++i) {
      if (SetCell(*rows_, int(i), fields_[i], record[i])) continue;
      // Once per table: every record would report the same field.
      if (!unknown_type_reported_) ShowDllError(kUnknownType);
      unknown_type_reported_ = true;
      write_failed_ = true;
      return false;
    }
    rows_->Update();
    return true;
  } catch (const Error& e) {
    ShowFailure(kWriteFailed, path_, e);
    write_failed_ = true;
    return false;
  }
}

int Cmdbstore::GetRecordCount() { return rows_ ? rows_->RecordCount() : 0; }

const std::vector<FieldValue>& Cmdbstore::GetRecord() {
  record_.clear();
  if (!rows_) return record_;
  try {
    BindColumns();
    if (rows_->IsEOF() || rows_->IsBOF()) return record_;
    for (size_t i = 0; i < fields_.size(); ++i)
      record_.push_back(GetCell(*rows_, int(i), fields_[i]));
  } catch (const Error& e) {
    record_.clear();
    // Once per open table, not once per record.
    if (!read_failure_shown_) ShowFailure(kReadFailed, path_, e);
    read_failure_shown_ = true;
  }
  return record_;
}

namespace {

template <typename Step>
int Navigate(mdb::data::RowSet* rows, Step step) {
  if (!rows) return NavStatus::NoRecords;
  try {
    if (rows->RecordCount() == 0) return NavStatus::NoRecords;
    return step();
  } catch (const Error& e) {
    ShowFailure(kSeekFailed, "", e);
    return NavStatus::NoRecords;
  }
}

}  // namespace

int Cmdbstore::MoveFirst() {
  return Navigate(rows_.get(), [this] { return rows_->MoveFirst(), NavStatus::Done; });
}

int Cmdbstore::MoveLast() {
  return Navigate(rows_.get(), [this] { return rows_->MoveLast(), NavStatus::Done; });
}

int Cmdbstore::MoveNext() {
  return Navigate(rows_.get(), [this] {
    rows_->MoveNext();
    if (!rows_->IsEOF()) return NavStatus::Done;
    rows_->MoveLast();
    return NavStatus::AtLast;
  });
}

int Cmdbstore::MovePrev() {
  return Navigate(rows_.get(), [this] {
    rows_->MovePrevious();
    if (!rows_->IsBOF()) return NavStatus::Done;
    rows_->MoveFirst();
    return NavStatus::AtFirst;
  });
}

std::string Cmdbstore::GetFilterText() { return "Access (*.mdb)"; }

std::string Cmdbstore::GetExtension() { return "MDB"; }

bool Cmdbstore::QueryStoreFlag() { return true; }
