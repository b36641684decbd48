// The four conversions from a field's value (Null when the field has none) to the text of
// an appraisal data file key. Shared by the export writers and by anything that must
// predict what the export writes.
#pragma once

#include <string>

#include "dao/dao.h"

namespace valtrix {

// Check box: "" for a false value, "X" for any other, an absent one included.
std::string CheckValue(const dao::Value& value);

// Text: "" when absent, else the value's text form with every line feed turned into "|".
// Nothing else changes (no trimming, carriage returns stay).
std::string TextValue(const dao::Value& value);

// Counts and areas: "" when absent or zero, else the number in plain decimal.
std::string NumberValue(const dao::Value& value);

// Bath count of one level: NumberValue(full) + "F" when not empty, then NumberValue(half)
// + "H" when not empty ("2F1H", "2F", "1H", "").
std::string BathValue(const dao::Value& full, const dao::Value& half);

}  // namespace valtrix
