#include "export/writers.h"

#include <exception>
#include <optional>
#include <string>

#include "export/conversions.h"

namespace valtrix {
namespace {

// The step's value, or nothing when the step writes no key (a "704" no-box whose yes-box
// is ticked).
// A field by its resolved column, or by name (which throws for a missing field).
dao::Value Read(const dao::Recordset& row, std::string_view field, size_t column) {
  return column == std::string::npos ? row.Get(std::string(field)) : row.At(column);
}

std::optional<std::string> StepValue(const ExportStep& step, const dao::Recordset& row,
                                     size_t column, size_t half_column) {
  switch (step.conversion) {
    case Conversion::kCheck:
      return CheckValue(Read(row, step.field, column));
    case Conversion::kText:
      return TextValue(Read(row, step.field, column));
    case Conversion::kNumber:
      return NumberValue(Read(row, step.field, column));
    case Conversion::kBath:
      return BathValue(Read(row, step.field, column), Read(row, step.half_field, half_column));
    case Conversion::kNoBox:
      if (CheckValue(Read(row, step.field, column)).empty()) return "X";
      return std::nullopt;
  }
  return std::nullopt;
}

size_t ColumnOrNone(const dao::Recordset& row, std::string_view field) {
  return field.empty() || !row.HasField(std::string(field)) ? std::string::npos
                                                            : row.ColumnOf(std::string(field));
}

}  // namespace

void PutKey(nb::Profile& file, std::string_view section, std::string_view key,
            std::string_view value) {
  file.Set(section, key, value);
  // A carriage return ends a line when the file is read again; the next key-by-key write
  // would see the file split there, so the in-memory file must see it that way too.
  if (value.find('\r') != std::string_view::npos) file = nb::Profile::Parse(file.Text());
}

StepColumns ResolveSteps(std::span<const ExportStep> steps, const dao::Recordset& row) {
  StepColumns columns;
  for (const ExportStep& step : steps) {
    columns.field.push_back(ColumnOrNone(row, step.field));
    columns.half_field.push_back(ColumnOrNone(row, step.half_field));
  }
  return columns;
}

void RunSteps(std::span<const ExportStep> steps, const dao::Recordset& row, std::string_view form,
              nb::Profile& file, bool tolerant, const StepColumns* columns) {
  constexpr size_t kNone = std::string::npos;
  for (size_t i = 0; i < steps.size(); ++i) {
    const ExportStep& step = steps[i];
    if (!RuleApplies(step.rule, form)) continue;
    const size_t column = columns ? columns->field[i] : kNone;
    const size_t half_column = columns ? columns->half_field[i] : kNone;
    std::optional<std::string> value;
    if (tolerant) {
      try {
        value = StepValue(step, row, column, half_column);
      } catch (const std::exception&) {
        continue;  // this key only
      }
    } else {
      value = StepValue(step, row, column, half_column);
    }
    if (value) PutKey(file, kDataSection, step.key, *value);
  }
}

nb::Profile BuildAppraisalFile(std::span<const dao::Recordset> rows, std::string_view form,
                               std::span<const StepColumns> columns) {
  using Writer = void (*)(const dao::Recordset&, std::string_view, nb::Profile&);
  // Same order as ExportWriters(), whose tables the rows come from.
  static constexpr Writer kWriters[] = {WriteSubject,      WriteNeighborhood, WriteSite,
                                        WriteRoomList,     WriteDescription1, WriteDescription2,
                                        WriteDescription3, WriteConditions};
  if (rows.size() != std::size(kWriters)) throw dao::Error("an appraisal has eight table rows");
  nb::Profile file;
  PutKey(file, kHeaderSection, "MajorForm", form);
  if (columns.empty()) {
    for (size_t i = 0; i < rows.size(); ++i) kWriters[i](rows[i], form, file);
    return file;
  }
  if (columns.size() != rows.size()) throw dao::Error("an appraisal has eight column lists");
  for (size_t i = 0; i < rows.size(); ++i) {
    const ExportWriterMap& writer = ExportWriters()[i];
    RunSteps(writer.steps, rows[i], form, file, writer.writer == "WriteDescription1", &columns[i]);
  }
  return file;
}

void WriteSubject(const dao::Recordset& row, std::string_view form, nb::Profile& file) {
  RunSteps(SubjectMap(), row, form, file, false);
}
void WriteNeighborhood(const dao::Recordset& row, std::string_view form, nb::Profile& file) {
  RunSteps(NeighborhoodMap(), row, form, file, false);
}
void WriteSite(const dao::Recordset& row, std::string_view form, nb::Profile& file) {
  RunSteps(SiteMap(), row, form, file, false);
}
void WriteRoomList(const dao::Recordset& row, std::string_view form, nb::Profile& file) {
  RunSteps(RoomListMap(), row, form, file, false);
}
void WriteDescription1(const dao::Recordset& row, std::string_view form, nb::Profile& file) {
  RunSteps(Description1Map(), row, form, file, true);
}
void WriteDescription2(const dao::Recordset& row, std::string_view form, nb::Profile& file) {
  RunSteps(Description2Map(), row, form, file, false);
}
void WriteDescription3(const dao::Recordset& row, std::string_view form, nb::Profile& file) {
  RunSteps(Description3Map(), row, form, file, false);
}
void WriteConditions(const dao::Recordset& row, std::string_view form, nb::Profile& file) {
  RunSteps(ConditionsMap(), row, form, file, false);
}

}  // namespace valtrix
