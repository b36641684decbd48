// Values assigned to a field become the field's own kind, as the dBASE driver converts
// them; matching values for selections.
#pragma once

#include "dao/dao.h"

namespace dao {

// Throws Error naming the field and the value when the field's type cannot take it.
Value ToFieldKind(const Field& field, const Value& value);

// Equality of a stored value with a selection value, as the driver compares them: texts
// without trailing blanks and without regard to case, numbers by value; Null never
// matches.
bool Matches(const Field& field, const Value& stored, const Value& wanted);

}  // namespace dao
