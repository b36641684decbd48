// The thirteen handheld appraisal tables and TAGTABLE as the desktop receives them, and a
// generator of realistic sample appraisals written through a desktop-database plug-in.
//
// The appraisal tables hold AprID, their table's fields of the export mapping (kinds from
// the conversions: logical, number, text, memo for long texts) and, in AprSubj, SyncX and
// MajorForm. AprInfo holds DELSYNC; the pick tables Type and Desc; TAGTABLE Tag,
// PickTable and PickField. Every pick list starts with its "(Edit list...)" row.
//
// Usage:
//   aprtables::Options o;  o.count = 20;  o.forms = {"URAR", "COND", "704"};
//   std::string error = aprtables::WriteTables(folder, o, bin_dir + "/dbfstore.so");
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "nbddb/field.h"

namespace aprtables {

enum class Kind { kText, kMemo, kNumber, kLogical };

struct Column {
  std::string name;
  Kind kind;
  int width;     // characters of a text, digits of a number; memos and logicals ignore it
  int decimals;  // of a number
};

struct Table {
  std::string name;  // file name without ".dbf"
  std::vector<Column> columns;
};

// The thirteen tables in HandheldTables order, then TAGTABLE.
const std::vector<Table>& Tables();
// By name without regard to case; null when unknown.
const Table* FindTable(std::string_view name);

struct Options {
  int count = 3;                                             // appraisals
  int first_id = 1;                                          // AprID of the first
  std::vector<std::string> forms = {"URAR", "COND", "704"};  // MajorForm, cycled
  std::vector<int> marked;                                   // AprIDs with SyncX "X"
  bool mark_all = true;                                      // every appraisal marked
  bool delsync = false;                                      // AprInfo.DELSYNC
  uint32_t seed = 1;
  std::vector<std::string> omit;  // "Table.Field": columns left out of a table
};

// One sample appraisal: for each of the eight appraisal tables (Tables() 0 to 7) one value
// per column in column order. Deterministic for a seed.
struct Appraisal {
  int apr_id;
  std::string form;
  bool marked;
  std::vector<std::vector<FieldValue>> rows;
};
std::vector<Appraisal> SampleAppraisals(const Options& options);

// Writes all fourteen tables into folder (created when missing) through the plug-in
// library at plugin_path. Returns "" on success, else what failed.
std::string WriteTables(const std::string& folder, const Options& options,
                        const std::string& plugin_path);

}  // namespace aprtables
