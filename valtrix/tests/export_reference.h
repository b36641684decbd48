// A reference export for the tests and the benchmark: the appraisal data file written the
// slow way, one key at a time, each write reading the whole file, changing one key and
// saving it again (as the Windows profile-string writer does). It follows the written
// mapping lists (export_expected_steps.h) and its own copy of the four conversions, so it
// shares nothing with the export but the profile code and the data access.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <span>
#include <string>
#include <vector>

#include "dao/dao.h"
#include "export_expected_steps.h"
#include "platform/profile.h"

namespace export_reference {

// One key written the way the Windows function does: read the whole file, change the key,
// write the whole file back in place (no temporary file, no flush to disk; overwriting and
// then cutting, since a file cut to nothing first is flushed by some file systems).
inline bool WriteKey(const std::string& path, std::string_view section, std::string_view key,
                     std::string_view value) {
  nb::Profile p = nb::Profile::Load(path);
  p.Set(section, key, value);
  const std::string text = p.Text();
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = pwrite(fd, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size()) &&
            ftruncate(fd, static_cast<off_t>(text.size())) == 0;
  return close(fd) == 0 && ok;
}

inline std::string Check(const dao::Value& v) {
  if (v.kind() == dao::Value::Kind::Logical && !v.logical()) return "";
  return "X";
}
inline std::string Text(const dao::Value& v) {
  std::string t = v.ToText();
  std::replace(t.begin(), t.end(), '\n', '|');
  return t;
}
inline std::string Number(const dao::Value& v) {
  if (v.is_null() || v.number() == 0) return "";
  return v.ToText();
}
inline std::string Bath(const dao::Value& full, const dao::Value& half) {
  std::string out;
  if (!Number(full).empty()) out += Number(full) + "F";
  if (!Number(half).empty()) out += Number(half) + "H";
  return out;
}

inline bool RuleHolds(std::string_view rule, std::string_view form) {
  if (rule == "Cond") return form == "COND";
  if (rule == "NotCond") return form != "COND";
  if (rule == "Form704") return form == "704";
  return true;
}

// Writes the file of one appraisal key by key from its eight positioned rows, in the order
// of kWriters. A field missing from AprDsc1 drops its key; any other missing field throws
// dao::Error.
inline void WriteRows(std::span<const dao::Recordset> rows, const std::string& path) {
  std::string form = rows[0].Get("MajorForm").ToText();
  if (form == "URAR") form = "1004";
  WriteKey(path, "Header", "MajorForm", form);
  for (size_t i = 0; i < rows.size(); ++i) {
    const export_expected::Writer& w = export_expected::kWriters[i];
    for (const export_expected::Step& s : w.steps) {
      if (!RuleHolds(s.rule, form)) continue;
      const std::string field(s.field);
      if (w.table == "AprDsc1" && !rows[i].HasField(field)) continue;
      std::string value;
      if (s.conversion == "CheckValue") value = Check(rows[i].Get(field));
      if (s.conversion == "TextValue") value = Text(rows[i].Get(field));
      if (s.conversion == "NumberValue") value = Number(rows[i].Get(field));
      if (s.conversion == "BathValue") {
        value = Bath(rows[i].Get(field), rows[i].Get(std::string(s.half)));
      }
      if (s.conversion == "NoBox") {
        if (!Check(rows[i].Get(field)).empty()) continue;
        value = "X";
      }
      WriteKey(path, "AppraisalData", s.key, value);
    }
  }
}

// The eight rows of an appraisal, each the last of its table with the AprID.
inline std::vector<dao::Recordset> OpenRows(dao::Database& db, int apr_id) {
  std::vector<dao::Recordset> rows;
  for (const export_expected::Writer& w : export_expected::kWriters) {
    rows.push_back(db.Where(std::string(w.table), "APRID", dao::Value::Number(apr_id)));
    rows.back().MoveLast();
    if (rows.back().IsEOF()) throw dao::Error("no row in " + std::string(w.table));
  }
  return rows;
}

// The file of the appraisal with this AprID from the tables in system_folder, key by key.
inline void WriteAppraisal(const std::string& system_folder, int apr_id, const std::string& path) {
  dao::Database db = dao::Database::Open(system_folder);
  WriteRows(OpenRows(db, apr_id), path);
}

}  // namespace export_reference
