// The export's mapping lists as data: for each of the eight writers, in write order, the
// field read, the key written, the conversion and the form the step depends on. The
// writers run these lists; nothing else lists fields or keys.
#pragma once

#include <span>
#include <string_view>

namespace valtrix {

enum class Conversion {
  kCheck,   // CheckValue
  kText,    // TextValue
  kNumber,  // NumberValue
  kBath,    // BathValue of field (full baths) and half_field
  kNoBox,   // "X" when CheckValue of field is empty, else no key at all
};

enum class FormRule {
  kAlways,
  kOnlyCond,  // form text "COND"
  kNotCond,   // any form text but "COND"
  kOnly704,   // form text "704"
};

struct ExportStep {
  std::string_view field;
  std::string_view key;
  Conversion conversion;
  FormRule rule = FormRule::kAlways;
  std::string_view half_field = {};
};

// Whether a step of this rule runs for the form text (compared exactly, case included).
bool RuleApplies(FormRule rule, std::string_view form);

struct ExportWriterMap {
  std::string_view writer;  // "WriteSubject", ...
  std::string_view table;   // "AprSubj", ...
  std::span<const ExportStep> steps;
};

std::span<const ExportStep> SubjectMap();
std::span<const ExportStep> NeighborhoodMap();
std::span<const ExportStep> SiteMap();
std::span<const ExportStep> RoomListMap();  // built from the level and room tables
std::span<const ExportStep> Description1Map();
std::span<const ExportStep> Description2Map();
std::span<const ExportStep> Description3Map();
std::span<const ExportStep> ConditionsMap();

// The eight writers in the order ExportAppraisal calls them.
std::span<const ExportWriterMap> ExportWriters();

}  // namespace valtrix
