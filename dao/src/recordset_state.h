// The state behind a Recordset: the table file, the selected record indices and the
// current position, with the row being edited or added.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "dao/dao.h"
#include "table_file.h"

namespace dao {

struct Recordset::State {
  enum class Pending { None, Edit, Add };

  State(std::string table_name, std::shared_ptr<TableFile> table_file)
      : table(std::move(table_name)), file(std::move(table_file)) {}

  // Positions on the first row (or BOF/EOF for an empty selection).
  void Start() {
    position = 0;
    gone.assign(rows.size(), false);
  }
  // Column of a field by name without regard to case; throws when missing.
  size_t Column(const std::string& name) const;
  bool HasCurrent() const {
    return position >= 0 && size_t(position) < rows.size() && !gone[position];
  }
  void RequireCurrent(const char* operation) const;
  const std::vector<Value>& Current();

  std::string table;
  std::shared_ptr<TableFile> file;
  std::vector<size_t> rows;  // record indices in the file
  std::vector<bool> gone;    // deleted through this recordset
  long position = 0;         // -1 BOF, rows.size() EOF
  Pending pending = Pending::None;
  std::vector<Value> values;  // the pending row
  long cached = -2;
  std::vector<Value> cache;
};

}  // namespace dao
