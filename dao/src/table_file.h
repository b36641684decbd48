// One dBASE table file as the data-access layer sees it: physical records by index, read,
// rewritten in place, marked deleted or appended. The format itself is dbase/'s.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "dao/dao.h"

namespace dao {

class TableFile {
 public:
  // Throws Error when the file cannot be opened or is not a table.
  static std::unique_ptr<TableFile> Open(const std::string& path);
  virtual ~TableFile() = default;

  virtual const std::vector<Field>& fields() const = 0;
  // The column of a field named without regard to case; npos when there is none.
  virtual size_t ColumnOf(const std::string& name) const = 0;
  // Records in the file, deleted ones included.
  virtual size_t size() const = 0;
  virtual bool deleted(size_t index) const = 0;
  // One value per field; a memo reads as its text.
  virtual std::vector<Value> Read(size_t index) const = 0;
  // One field's value alone: what selections test.
  virtual Value ReadValue(size_t index, size_t column) const = 0;
  // Live records whose number column holds this number, in file order. The column's
  // index is built on first use and kept up to date by Rewrite, MarkDeleted and Append.
  virtual std::vector<size_t> RowsWith(size_t column, double number) = 0;
  // Values are already of each field's kind (or Null). Throw Error when a value does not
  // fit its column; the record is then unchanged.
  virtual void Rewrite(size_t index, const std::vector<Value>& values) = 0;
  virtual void MarkDeleted(size_t index) = 0;
  // The index of the new record.
  virtual size_t Append(const std::vector<Value>& values) = 0;
};

}  // namespace dao
