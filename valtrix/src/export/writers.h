// The eight writers of an appraisal export. Each reads its table's current row through its
// mapping list and sets the keys of the section "AppraisalData" in the appraisal data file
// held in memory, in list order. A missing field or a failed read throws (dao::Error),
// except in WriteDescription1, where it only drops that step's key.
#pragma once

#include <string_view>
#include <vector>

#include "dao/dao.h"
#include "export/export_mapping.h"
#include "platform/profile.h"

namespace valtrix {

inline constexpr std::string_view kHeaderSection = "Header";
inline constexpr std::string_view kDataSection = "AppraisalData";

// Sets a key as one profile-string write would leave the file, so that building the file
// in memory and saving it once gives the bytes that writing it key by key gives.
void PutKey(nb::Profile& file, std::string_view section, std::string_view key,
            std::string_view value);

// The columns of a mapping list's fields in one table, looked up once for every row of it.
// A field the table lacks stays npos and fails (or is skipped) where a step reads it.
struct StepColumns {
  std::vector<size_t> field, half_field;
};
StepColumns ResolveSteps(std::span<const ExportStep> steps, const dao::Recordset& row);

// Runs one mapping list over the row: the steps whose rule applies to the form text.
// `columns`, when given, is ResolveSteps of these steps over the row's table.
void RunSteps(std::span<const ExportStep> steps, const dao::Recordset& row, std::string_view form,
              nb::Profile& file, bool tolerant, const StepColumns* columns = nullptr);

// The whole file of one appraisal: "MajorForm" = form in the Header, then the eight
// writers in order, rows[i] being the positioned row of ExportWriters()[i].table and
// columns[i], when given, the resolved columns of that writer's list.
nb::Profile BuildAppraisalFile(std::span<const dao::Recordset> rows, std::string_view form,
                               std::span<const StepColumns> columns = {});

void WriteSubject(const dao::Recordset& row, std::string_view form, nb::Profile& file);
void WriteNeighborhood(const dao::Recordset& row, std::string_view form, nb::Profile& file);
void WriteSite(const dao::Recordset& row, std::string_view form, nb::Profile& file);
void WriteRoomList(const dao::Recordset& row, std::string_view form, nb::Profile& file);
void WriteDescription1(const dao::Recordset& row, std::string_view form, nb::Profile& file);
void WriteDescription2(const dao::Recordset& row, std::string_view form, nb::Profile& file);
void WriteDescription3(const dao::Recordset& row, std::string_view form, nb::Profile& file);
void WriteConditions(const dao::Recordset& row, std::string_view form, nb::Profile& file);

}  // namespace valtrix
