#include "export/writers.h"

#include <exception>
#include <optional>
#include <string>

#include "export/conversions.h"

namespace valtrix {
namespace {

// The step's value, or nothing when the step writes no key (a "704" no-box whose yes-box
// is ticked).
std::optional<std::string> StepValue(const ExportStep& step, const dao::Recordset& row) {
  const std::string field(step.field);
  switch (step.conversion) {
    case Conversion::kCheck:
      return CheckValue(row.Get(field));
    case Conversion::kText:
      return TextValue(row.Get(field));
    case Conversion::kNumber:
      return NumberValue(row.Get(field));
    case Conversion::kBath:
      return BathValue(row.Get(field), row.Get(std::string(step.half_field)));
    case Conversion::kNoBox:
      if (CheckValue(row.Get(field)).empty()) return "X";
      return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

void PutKey(nb::Profile& file, std::string_view section, std::string_view key,
            std::string_view value) {
  file.Set(section, key, value);
  // A carriage return ends a line when the file is read again; the next key-by-key write
  // would see the file split there, so the in-memory file must see it that way too.
  if (value.find('\r') != std::string_view::npos) file = nb::Profile::Parse(file.Text());
}

void RunSteps(std::span<const ExportStep> steps, const dao::Recordset& row, std::string_view form,
              nb::Profile& file, bool tolerant) {
  for (const ExportStep& step : steps) {
    if (!RuleApplies(step.rule, form)) continue;
    std::optional<std::string> value;
    if (tolerant) {
      try {
        value = StepValue(step, row);
      } catch (const std::exception&) {
        continue;  // this key only
      }
    } else {
      value = StepValue(step, row);
    }
    if (value) PutKey(file, kDataSection, step.key, *value);
  }
}

nb::Profile BuildAppraisalFile(std::span<const dao::Recordset> rows, std::string_view form) {
  using Writer = void (*)(const dao::Recordset&, std::string_view, nb::Profile&);
  // Same order as ExportWriters(), whose tables the rows come from.
  static constexpr Writer kWriters[] = {WriteSubject,      WriteNeighborhood, WriteSite,
                                        WriteRoomList,     WriteDescription1, WriteDescription2,
                                        WriteDescription3, WriteConditions};
  if (rows.size() != std::size(kWriters)) throw dao::Error("an appraisal has eight table rows");
  nb::Profile file;
  PutKey(file, kHeaderSection, "MajorForm", form);
  for (size_t i = 0; i < rows.size(); ++i) kWriters[i](rows[i], form, file);
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
