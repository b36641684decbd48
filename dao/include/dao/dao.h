// The data-access stand-in: a folder of dBASE tables opened as one database, as the
// desktop program uses it. Tables are found by name without regard to case
// ("AprSubj" finds "APRSUBJ.DBF" or "AprSubj.dbf"), fields likewise.
//
// A Database opens each table file once, on first use, and keeps it: a stage works on one
// Database and reads each table once, however many selections it makes. It sees its own
// changes at once; changes made by others after a table was first used are not seen, so
// each stage opens its own. Selections of a number field by a number go through an index
// of that column, built on first use and kept up to date by the Database's own changes.
//
// Everything that fails throws dao::Error with a message naming the table, field or file:
// a missing folder, table or field, a value a field cannot take, a file that cannot be
// read or written. A failed Update leaves the table file as it was.
//
// Usage:
//   dao::Database db = dao::Database::Open(system_folder);
//   dao::Recordset rs = db.Where("AprSubj", "SyncX", dao::Value::Text("X"));
//   for (rs.MoveFirst(); !rs.IsEOF(); rs.MoveNext()) int id = rs.Get("AprID").ToInt();
//   rs.Edit(); rs.Set("SyncX", dao::Value::Text("")); rs.Update();
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace dao {

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A field's value as the program sees it. Dates are YYYYMMDD, times HHMMSS.
class Value {
 public:
  enum class Kind { Null, Text, Number, Logical, Date, Time };

  Value() = default;  // Null
  static Value Text(std::string text);
  static Value Number(double number);
  static Value Logical(bool value);
  static Value Date(int32_t yyyymmdd);
  static Value Time(int32_t hhmmss);

  Kind kind() const { return kind_; }
  bool is_null() const { return kind_ == Kind::Null; }
  const std::string& text() const { return text_; }  // Text only
  double number() const { return number_; }          // Number, Date and Time
  bool logical() const { return number_ != 0; }      // Logical only

  // The text form a value takes when read as a string: Null "", Text as is, Number in
  // its shortest exact decimal form ("12", "0.5", "-3.25"), Logical "True"/"False",
  // Date M/D/YYYY, Time h:mm:ss AM/PM.
  std::string ToText() const;
  // A whole number from Number (rounded half away from zero); throws for other kinds
  // and for values outside the 32-bit range.
  int32_t ToInt() const;

  bool operator==(const Value& other) const = default;

 private:
  Kind kind_ = Kind::Null;
  std::string text_;
  double number_ = 0;
};

// What a field is, as the table file declares it.
struct Field {
  enum class Type { Text, Memo, Number, Logical, Date, Time, Binary, TimeStamp };
  std::string name;  // as stored in the file
  Type type = Type::Text;
  int width = 0;  // column width in the file
  int decimals = 0;
  // The size a program is told: characters of a text column, 0 for a memo, 8 for
  // numbers, dates and times, 1 for a logical.
  int Size() const;
};

class Table;

// Rows of one table chosen by a selection, with a current row. Rows are addressed by
// their place in the table file, so an update or a deletion touches exactly that row.
class Recordset {
 public:
  Recordset(Recordset&&) noexcept;
  Recordset& operator=(Recordset&&) noexcept;
  ~Recordset();

  // Before the first and after the last row; both true for an empty selection.
  bool IsBOF() const;
  bool IsEOF() const;
  int RecordCount() const;
  void MoveFirst();
  void MoveLast();
  void MoveNext();
  void MovePrevious();

  const std::vector<Field>& Fields() const;
  bool HasField(const std::string& name) const;
  const Field& GetField(const std::string& name) const;  // throws when missing
  // The position of a field in Fields(), for reading many rows without a name lookup per
  // value; throws when missing.
  size_t ColumnOf(const std::string& name) const;

  // The current row's value (of the pending row between AddNew/Edit and Update).
  Value Get(const std::string& field) const;
  Value At(size_t column) const;

  // Edit starts changing the current row, AddNew a new row at the end of the table.
  // Set converts the value by the field's type: a text goes into a number field as its
  // number, into a date field in the M/D/YYYY or YYYYMMDD form, into a time field in the
  // platform's time forms, into a logical field as True/False/Yes/No/-1/0; an empty
  // text stores no value in a number, date, time or logical field; a text longer than a
  // text column or a number too wide for its column throws. Update writes the pending
  // row; CancelUpdate (and closing or destroying with a row pending) discards it.
  void Edit();
  void AddNew();
  void Set(const std::string& field, const Value& value);
  void Update();
  void CancelUpdate();
  // Marks the current row deleted in the table file; the recordset then has no current
  // row until the next move.
  void Delete();
  void Close();

 private:
  friend class Database;
  struct State;
  explicit Recordset(std::unique_ptr<State> state);
  std::unique_ptr<State> s_;
};

class Database {
 public:
  // Opens a folder of dBASE tables; throws when it is not a folder.
  static Database Open(const std::string& folder);
  Database(Database&&) noexcept;
  Database& operator=(Database&&) noexcept;
  ~Database();

  const std::string& folder() const;
  bool HasTable(const std::string& table) const;
  // Every row, in file order.
  Recordset All(const std::string& table);
  // No row of the table selected: for adding rows without reading the others.
  Recordset Empty(const std::string& table);
  // Rows where field equals value (text compared without trailing blanks and without
  // regard to case, as the dBASE driver does; numbers by value; Null matches no row).
  Recordset Where(const std::string& table, const std::string& field, const Value& value);
  // The greatest value of a number field over the rows; Null when there are none.
  Value Max(const std::string& table, const std::string& field);
  void Close();

 private:
  struct Tables;
  Database() = default;
  std::string folder_;
  std::shared_ptr<Tables> tables_;
};

}  // namespace dao
