// The eight readers of the import: each runs its list (reader_lists.h) on the pending new
// row of its table, assigning fields without storing the row.
//
// A text key's value goes to the field as text and the field's type converts it (an empty
// text stores no value in a number, date or time field); a check-box key gives true or false.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "dao/dao.h"
#include "import/appraisal_file.h"
#include "import/reader_lists.h"

namespace valtrix::import {

// A step that failed. The message names the key, its value and the field.
class StepError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Runs one step on `row` of `table`. `form` is the form text: a kForm step sets it, a
// kCheck704 step runs only when it is "704". Throws StepError.
void RunStep(const Step& step, std::string_view table, dao::Recordset& row,
             const AppraisalFile& file, std::string& form);

// Runs a reader's steps in order. ReadSubject goes on after a failing step (the field keeps
// what it had); every other reader throws StepError at its first failing step.
void RunReader(const ReaderList& reader, dao::Recordset& row, const AppraisalFile& file);

}  // namespace valtrix::import
