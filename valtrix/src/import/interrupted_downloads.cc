#include "import/interrupted_downloads.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <utility>

#include "dao/dao.h"
#include "globals.h"
#include "platform/os.h"

namespace valtrix {
namespace {

constexpr std::string_view kMarkHeader = "valtrix downloads 1\n";

std::string DownloadsMark() { return AppFolders().system + "Downloads.pending"; }

std::vector<std::string> AppraisalTables() {
  std::vector<std::string> tables;
  for (size_t i = kAprSubj; i <= kAprVC; ++i)
    tables.push_back(std::filesystem::path(AppFolders().handheld_tables[i]).stem().string());
  return tables;
}

// Length-prefixed tokens: "<decimal length>:<bytes>", so any byte may appear in a value.
void Put(std::string& out, std::string_view token) {
  out += std::to_string(token.size());
  out += ':';
  out += token;
}

bool Take(std::string_view& in, std::string_view* token) {
  size_t colon = in.find(':');
  if (colon == 0 || colon == std::string_view::npos || colon > 9) return false;
  size_t n = 0;
  for (char c : in.substr(0, colon)) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + size_t(c - '0');
  }
  if (in.size() - colon - 1 < n) return false;
  *token = in.substr(colon + 1, n);
  in.remove_prefix(colon + 1 + n);
  return true;
}

bool TakeNumber(std::string_view& in, long* n) {
  std::string_view token;
  if (!Take(in, &token) || token.empty() || token.size() > 9) return false;
  std::string text(token);
  char* end = nullptr;
  *n = std::strtol(text.c_str(), &end, 10);
  return end == text.c_str() + text.size();
}

// A value as a kind letter and its exact payload.
std::string EncodeValue(const dao::Value& v) {
  char number[40];
  switch (v.kind()) {
    case dao::Value::Kind::Null:
      return "0";
    case dao::Value::Kind::Text:
      return "T" + v.text();
    case dao::Value::Kind::Logical:
      return v.logical() ? "L1" : "L0";
    case dao::Value::Kind::Number:
      std::snprintf(number, sizeof number, "N%.17g", v.number());
      return number;
    case dao::Value::Kind::Date:
      return "D" + std::to_string(int32_t(v.number()));
    case dao::Value::Kind::Time:
      return "H" + std::to_string(int32_t(v.number()));
  }
  return "0";
}

dao::Value DecodeValue(std::string_view token) {
  std::string payload(token.substr(token.empty() ? 0 : 1));
  switch (token.empty() ? '0' : token[0]) {
    case 'T':
      return dao::Value::Text(payload);
    case 'L':
      return dao::Value::Logical(payload == "1");
    case 'N':
      return dao::Value::Number(std::strtod(payload.c_str(), nullptr));
    case 'D':
      return dao::Value::Date(int32_t(std::strtol(payload.c_str(), nullptr, 10)));
    case 'H':
      return dao::Value::Time(int32_t(std::strtol(payload.c_str(), nullptr, 10)));
  }
  return dao::Value();
}

// A row: field name and value, field by field.
std::vector<std::pair<std::string, dao::Value>> DecodeRow(std::string_view row) {
  std::vector<std::pair<std::string, dao::Value>> fields;
  std::string_view name, value;
  while (Take(row, &name) && Take(row, &value)) fields.emplace_back(name, DecodeValue(value));
  return fields;
}

// A row encoded value by value, so that equal rows give equal text.
std::string EncodeRow(const dao::Recordset& rs) {
  std::string row;
  const std::vector<dao::Field>& fields = rs.Fields();
  for (size_t c = 0; c < fields.size(); ++c) {
    Put(row, fields[c].name);
    Put(row, EncodeValue(rs.At(c)));
  }
  return row;
}

// FNV-1a over the rows: fixed across builds, since a mark outlives the program that wrote it.
class Fingerprint {
 public:
  void Add(std::string_view row) {
    std::string token;
    Put(token, row);
    for (unsigned char c : token) hash_ = (hash_ ^ c) * 0x100000001b3ULL;
  }
  std::string Text() const {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash_));
    return text;
  }

 private:
  uint64_t hash_ = 0xcbf29ce484222325ULL;
};

const std::string& NoRows() {
  static const std::string none = Fingerprint().Text();
  return none;
}

const std::string& FingerprintOf(const AppraisalRows& rows, const std::string& table,
                                 int32_t apr_id) {
  auto t = rows.find(table);
  if (t == rows.end()) return NoRows();
  auto found = t->second.find(apr_id);
  return found == t->second.end() ? NoRows() : found->second;
}

std::vector<std::string> RowsOf(dao::Database& db, const std::string& table, int32_t apr_id) {
  std::vector<std::string> rows;
  dao::Recordset rs = db.Where(table, "APRID", dao::Value::Number(apr_id));
  if (rs.IsBOF() && rs.IsEOF()) return rows;
  for (rs.MoveFirst(); !rs.IsEOF(); rs.MoveNext()) rows.push_back(EncodeRow(rs));
  return rows;
}

std::vector<ChangedRows> Changes(const AppraisalRows& before, const AppraisalRows& now) {
  std::vector<ChangedRows> changes;
  dao::Database db = dao::Database::Open(AppFolders().system);
  for (const std::string& table : AppraisalTables()) {
    std::set<int32_t> ids;
    for (const AppraisalRows* rows : {&before, &now}) {
      auto t = rows->find(table);
      if (t != rows->end())
        for (const auto& [id, fingerprint] : t->second) ids.insert(id);
    }
    for (int32_t id : ids) {
      const std::string& was = FingerprintOf(before, table, id);
      if (was != FingerprintOf(now, table, id))
        changes.push_back({table, id, was, RowsOf(db, table, id)});
    }
  }
  db.Close();
  return changes;
}

// Replaces the table's rows of the AprID by `sent`: the new ones first, so that a row the
// table cannot take leaves the old ones in place.
void SendAgain(dao::Database& db, const ChangedRows& change) {
  dao::Recordset old_rows = db.Where(change.table, "APRID", dao::Value::Number(change.apr_id));
  dao::Recordset added = db.Empty(change.table);
  for (const std::string& row : change.sent) {
    added.AddNew();
    for (const auto& [field, value] : DecodeRow(row)) added.Set(field, value);
    added.Update();
  }
  if (old_rows.IsBOF() && old_rows.IsEOF()) return;
  for (old_rows.MoveFirst(); !old_rows.IsEOF(); old_rows.MoveNext()) old_rows.Delete();
}

}  // namespace

std::string EncodeMark(const std::vector<ChangedRows>& changes) {
  std::string out(kMarkHeader);
  Put(out, std::to_string(changes.size()));  // so that a cut-off mark is never taken as whole
  for (const ChangedRows& c : changes) {
    Put(out, c.table);
    Put(out, std::to_string(c.apr_id));
    Put(out, c.before);
    Put(out, std::to_string(c.sent.size()));
    for (const std::string& row : c.sent) Put(out, row);
  }
  return out;
}

std::optional<std::vector<ChangedRows>> DecodeMark(std::string_view text) {
  if (text.substr(0, kMarkHeader.size()) != kMarkHeader) return std::nullopt;
  text.remove_prefix(kMarkHeader.size());
  std::vector<ChangedRows> changes;
  long count = 0;
  if (!TakeNumber(text, &count) || count < 0) return std::nullopt;
  for (long n = 0; n < count; ++n) {
    ChangedRows c;
    std::string_view table, before;
    long id = 0, rows = 0;
    if (!Take(text, &table) || !TakeNumber(text, &id) || !Take(text, &before) ||
        !TakeNumber(text, &rows) || rows < 0)
      return std::nullopt;
    c.table = table;
    c.apr_id = int32_t(id);
    c.before = before;
    for (long i = 0; i < rows; ++i) {
      std::string_view row;
      if (!Take(text, &row)) return std::nullopt;
      c.sent.emplace_back(row);
    }
    changes.push_back(std::move(c));
  }
  if (!text.empty()) return std::nullopt;
  return changes;
}

AppraisalRows ReadAppraisalRows() {
  AppraisalRows all;
  dao::Database db = dao::Database::Open(AppFolders().system);
  for (const std::string& table : AppraisalTables()) {
    std::map<int32_t, Fingerprint> by_id;
    dao::Recordset rs = db.All(table);
    const size_t id_column = rs.ColumnOf("APRID");
    if (!rs.IsBOF() || !rs.IsEOF()) {
      for (rs.MoveFirst(); !rs.IsEOF(); rs.MoveNext()) {
        const dao::Value id = rs.At(id_column);
        if (id.kind() != dao::Value::Kind::Number) continue;  // belongs to no appraisal
        by_id[id.ToInt()].Add(EncodeRow(rs));
      }
    }
    auto& fingerprints = all[table];
    for (const auto& [id, fingerprint] : by_id) fingerprints[id] = fingerprint.Text();
  }
  db.Close();
  return all;
}

void NoteDownloadsStarting(const AppraisalRows& on_handheld) {
  std::string error;
  if (!nb::WriteFileDurably(DownloadsMark(), EncodeMark(Changes(on_handheld, ReadAppraisalRows())),
                            &error))
    throw std::runtime_error(error);
}

void NoteDownloadsDone() {
  if (nb::TheOs().Unlink(DownloadsMark().c_str()) == 0) nb::SyncFolder(AppFolders().system);
}

void RepairInterruptedDownloads(const AppraisalRows& on_handheld) {
  struct stat st;
  if (nb::TheOs().Stat(DownloadsMark().c_str(), &st) != 0 && errno == ENOENT) return;
  std::string text;
  if (!nb::ReadWholeFile(DownloadsMark(), &text))
    throw std::runtime_error("cannot read " + DownloadsMark() + ": " + std::strerror(errno));
  std::optional<std::vector<ChangedRows>> changes = DecodeMark(text);
  if (!changes) {
    LogError("Recovery after an interrupted synchronisation skipped: " + DownloadsMark() +
             " cannot be read");
    return;
  }
  auto held = [&](const ChangedRows& change) -> const std::string& {
    return FingerprintOf(on_handheld, change.table, change.apr_id);
  };
  // A table whose download never arrived still holds some AprID's rows from before. A row
  // changed on the handheld since belongs to the appraisal that table showed: kept where the
  // table went down or only the export's mark changed, replaced where an appraisal was
  // added or removed under its AprID (the AprID may now be another appraisal's).
  std::set<std::string> not_sent;
  std::map<int32_t, int> tables_changed;
  for (const ChangedRows& change : *changes) {
    if (held(change) == change.before) not_sent.insert(change.table);
    ++tables_changed[change.apr_id];
  }
  std::map<int32_t, std::string> repaired;  // AprID -> its tables sent again
  dao::Database db = dao::Database::Open(AppFolders().system);
  for (const ChangedRows& change : *changes) {
    Fingerprint sent;
    for (const std::string& row : change.sent) sent.Add(row);
    const bool changed_since = held(change) != change.before;
    if (held(change) == sent.Text() ||
        (changed_since && (!not_sent.count(change.table) || tables_changed[change.apr_id] < 2)))
      continue;
    SendAgain(db, change);
    std::string& tables = repaired[change.apr_id];
    tables += (tables.empty() ? "" : ", ") + change.table;
    if (changed_since) tables += " (changed on the handheld since)";
  }
  db.Close();
  for (const auto& [id, tables] : repaired)
    LogError("Recovered: the handheld still held appraisal " + std::to_string(id) + "'s rows of " +
             tables + " from before an interrupted synchronisation; its rows go down again");
}

}  // namespace valtrix
