// The data-access layer under mdbstore: a connection to one database file, its catalog
// (tables, columns and their descriptions) and a row set over one table whose cells are
// read and written by column name. SQLite stands behind it (sqlite_engine.cc); nothing
// above this header knows that.
//
// Every failure is thrown as data::Error; the store catches it inside each operation.
// Objects handed out by a connection must be destroyed before it is closed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace mdb::data {

struct Error {
  int code = 0;             // the engine's result code; 0 when it gave none
  std::string source;       // who reported it, e.g. "SQLite"
  std::string description;  // the engine's own text
  bool busy = false;        // the file or table is in use by another program
};

// Column kinds, numbered as the data types of the platform's data-access components.
namespace Kind {
inline constexpr int Other = 0;
inline constexpr int Integer = 3;  // 32-bit
inline constexpr int Double = 5;
inline constexpr int Date = 7;
inline constexpr int Boolean = 11;
inline constexpr int BigInt = 20;
inline constexpr int Text = 202;      // variable length, of a defined size
inline constexpr int LongText = 203;  // memo
inline constexpr int LongBinary = 205;
}  // namespace Kind

struct Column {
  std::string name;
  int kind = Kind::Other;
  int defined_size = 0;
  bool nullable = true;
  std::string description;
};

struct DateTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

class Catalog {
 public:
  virtual ~Catalog() = default;
  virtual bool HasTable(const std::string& table) = 0;
  // Drops the table, when there is one, with its column descriptions.
  virtual void DropTable(const std::string& table) = 0;
  virtual void CreateTable(const std::string& table, const std::vector<Column>& columns) = 0;
  virtual std::vector<Column> Columns(const std::string& table) = 0;
};

// The rows of one table in the order they were added, with a current row. Cells are
// addressed by the position of their column in the list given to SetColumns.
class RowSet {
 public:
  virtual ~RowSet() = default;
  // Prepares reading and writing of these columns; statements are prepared here only.
  virtual void SetColumns(const std::vector<std::string>& names) = 0;

  virtual int RecordCount() = 0;
  virtual void MoveFirst() = 0;
  virtual void MoveLast() = 0;
  virtual void MoveNext() = 0;
  virtual void MovePrevious() = 0;
  virtual bool IsEOF() = 0;  // moved past the last row (or no rows)
  virtual bool IsBOF() = 0;  // moved before the first row (or no rows)

  // Cells of the current row. Text and bytes stay valid until the next move or read.
  virtual bool IsNull(int column) = 0;
  virtual int64_t GetInteger(int column) = 0;
  virtual double GetDouble(int column) = 0;
  virtual std::string_view GetText(int column) = 0;
  virtual std::string_view GetBytes(int column) = 0;
  // False when the cell holds no date and time.
  virtual bool GetDateTime(int column, DateTime* value) = 0;

  // A new row: AddNew, then the cells (unset ones stay null), then Update appends it.
  virtual void AddNew() = 0;
  virtual void SetNull(int column) = 0;
  virtual void SetInteger(int column, int64_t value) = 0;
  virtual void SetDouble(int column, double value) = 0;
  virtual void SetText(int column, std::string_view value) = 0;
  virtual void SetBytes(int column, std::string_view value) = 0;
  virtual void SetDateTime(int column, const DateTime& value) = 0;
  virtual void Update() = 0;
};

class Connection {
 public:
  // A connection of the engine; none when the engine cannot be had.
  static std::unique_ptr<Connection> New();
  virtual ~Connection() = default;

  // Opens an existing database file; a read-only one is opened so on disk too and read as
  // one snapshot until Close. A file that is not a database of the engine (empty,
  // truncated, another format) fails.
  virtual void Open(const std::string& path, bool read_only) = 0;
  // Makes a new database that appears at path only when its first transaction commits,
  // so an interrupted write leaves no file behind.
  virtual void CreateDatabase(const std::string& path) = 0;
  virtual void Execute(const std::string& statement) = 0;
  virtual void BeginTrans() = 0;
  virtual void CommitTrans() = 0;
  // Rolls back a transaction still open.
  virtual void Close() = 0;

  virtual std::unique_ptr<Catalog> OpenCatalog() = 0;
  // Fails when the table does not exist.
  virtual std::unique_ptr<RowSet> OpenRowSet(const std::string& table) = 0;
};

}  // namespace mdb::data
