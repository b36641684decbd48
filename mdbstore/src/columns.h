// The column table of the Access store both ways (field -> column when a table is made,
// column -> field when its schema is read) and the conversion of one value between a
// field and a cell. The field's type decides, not the value's tag.
#pragma once

#include <vector>

#include "data/data_access.h"
#include "nbddb/field.h"

namespace mdbstore {

mdb::data::Column ColumnFor(const FieldDesc& field);
FieldDesc FieldFor(const mdb::data::Column& column);
// Whether a table of these columns takes rows of the wanted ones and reads them back as
// they were: each wanted column is there (name compared without regard to case) with
// its kind, description, text size and nullability, and every other column takes null.
bool Holds(const std::vector<mdb::data::Column>& table,
           const std::vector<mdb::data::Column>& wanted);

// Sets cell i of the new row from value; false (nothing set) for a field type the store
// cannot convert.
bool SetCell(mdb::data::RowSet& rows, int i, const FieldDesc& field, const FieldValue& value);
// The value of cell i of the current row.
FieldValue GetCell(mdb::data::RowSet& rows, int i, const FieldDesc& field);

}  // namespace mdbstore
