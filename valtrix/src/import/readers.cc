#include "import/readers.h"

namespace valtrix::import {

namespace {

constexpr std::string_view kDataSection = "AppraisalData";
constexpr std::string_view kHeaderSection = "Header";

// Characters a text key keeps for `field`. Only a text column limits characters: a memo's
// Size is 0 (the whole 3999), and the 8 of a number, date or time field is its storage
// size, not a length, so cutting there would turn "12/31/2026" into "12/31/20".
int TextLimit(const Step& step, const dao::Field& field) {
  if (step.maximum != kFieldLength) return step.maximum;
  return field.type == dao::Field::Type::Text ? field.Size() : 0;
}

std::string Quoted(std::string_view value) {
  constexpr size_t kShown = 80;
  std::string out = "\"";
  out.append(value.substr(0, kShown));
  if (value.size() > kShown) out.append("...");
  out.push_back('"');
  return out;
}

[[noreturn]] void Fail(const Step& step, std::string_view table, std::string_view section,
                       const AppraisalFile& file, const std::exception& cause) {
  throw StepError("key \"" + step.key + "\" value " +
                  Quoted(file.keys().Get(section, step.key, "")) + " not stored in " +
                  std::string(table) + "." + step.field + ": " + cause.what());
}

}  // namespace

void RunStep(const Step& step, std::string_view table, dao::Recordset& row,
             const AppraisalFile& file, std::string& form) {
  std::string_view section = step.kind == StepKind::kForm ? kHeaderSection : kDataSection;
  try {
    switch (step.kind) {
      case StepKind::kForm: {
        int maximum = TextLimit(step, row.GetField(step.field));
        form = ReadProfileText(file.keys(), section, step.key, "URAR", maximum);
        if (form == "1004") form = "URAR";  // what the export writes for "URAR"
        row.Set(step.field, dao::Value::Text(form));
        break;
      }
      case StepKind::kText: {
        int maximum = TextLimit(step, row.GetField(step.field));
        row.Set(step.field,
                dao::Value::Text(ReadProfileText(file.keys(), section, step.key, "", maximum)));
        break;
      }
      case StepKind::kCheck704:
        if (form != "704") break;
        [[fallthrough]];
      case StepKind::kCheck:
        row.Set(step.field,
                dao::Value::Logical(ReadProfileCheck(file.keys(), section, step.key, "")));
        break;
    }
  } catch (const std::exception& e) {
    Fail(step, table, section, file, e);
  }
}

void RunReader(const ReaderList& reader, dao::Recordset& row, const AppraisalFile& file) {
  std::string form;
  for (const Step& step : *reader.steps) {
    try {
      RunStep(step, reader.table_name, row, file, form);
    } catch (const StepError&) {
      if (!reader.skips_failing_steps) throw;
    }
  }
}

}  // namespace valtrix::import
