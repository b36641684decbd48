// The import's reader lists as data: for each of the eight readers, in the order the
// driver calls them, its table and its steps in the order they run. Each step reads one key
// of an appraisal data file and assigns it to one field of the table's new row; a field that
// two steps name ends with the later step's value.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "globals.h"

namespace valtrix::import {

enum class StepKind {
  kForm,      // "MajorForm" of the section "Header", default "URAR", "1004" read as "URAR";
              // its text is the form text of the later steps
  kText,      // text key: cut to the field's length, every "|" turned into a line feed
  kCheck,     // check-box key: true when the value is not empty
  kCheck704,  // a check-box key read only when the form text is "704"
};

// A step's `maximum` when the field's own length limits the text.
inline constexpr int kFieldLength = -1;

struct Step {
  StepKind kind;
  std::string key;
  std::string field;
  int maximum = kFieldLength;
};

struct ReaderList {
  std::string_view name;  // "ReadSubject"
  HandheldTable table;    // position in HandheldTables
  std::string_view table_name;
  bool skips_failing_steps;  // only ReadSubject goes on after a failing step
  const std::vector<Step>* steps;
};

inline constexpr size_t kReaderCount = 8;

const std::array<ReaderList, kReaderCount>& ReaderLists();

// The two fields the driver fills before the readers run.
const Step& FormStep();
const Step& FileNumberStep();

}  // namespace valtrix::import
