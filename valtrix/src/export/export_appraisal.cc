#include "export/export_appraisal.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "durability.h"
#include "export/export_mapping.h"
#include "export/file_naming.h"
#include "globals.h"
#include "platform/profile.h"

namespace valtrix {
namespace {

struct ExportFailure : std::exception {};

// "URAR" is written as "1004"; every other form text unchanged.
std::string FormText(const dao::Value& major_form) {
  std::string form = major_form.ToText();
  if (form.empty()) throw ExportFailure();
  return form == "URAR" ? "1004" : form;
}

bool DeleteAfterExport(dao::Database& db) {
  dao::Recordset info = db.All("AprInfo");
  if (!info.HasField("DELSYNC")) throw ExportFailure();
  if (info.IsEOF()) return false;  // no settings row: nothing asks for deletion
  info.MoveFirst();
  dao::Value v = info.Get("DELSYNC");
  if (v.kind() == dao::Value::Kind::Logical) return v.logical();
  if (v.kind() == dao::Value::Kind::Number) return v.number() != 0;
  return false;
}

// The appraisal's row of each writer's table, positioned on its last row.
std::vector<dao::Recordset> AppraisalRows(dao::Database& db, int16_t apr_id) {
  std::vector<dao::Recordset> rows;
  for (const ExportWriterMap& w : ExportWriters()) {
    rows.push_back(db.Where(std::string(w.table), "APRID", dao::Value::Number(apr_id)));
    rows.back().MoveLast();
    if (rows.back().IsEOF()) throw ExportFailure();
  }
  return rows;
}

}  // namespace

ExportSession::ExportSession(dao::Database& db) : db_(db) {}

ExportSession::~ExportSession() {
  try {
    Finish();
  } catch (const std::exception&) {
  }
}

void ExportSession::Export(int16_t apr_id) {
  // Two marked rows of one AprID share their rows: the first's changes come first.
  if (std::find(written_.begin(), written_.end(), apr_id) != written_.end()) Finish();
  try {
    WriteFile(apr_id);
    written_.push_back(apr_id);
  } catch (const std::exception&) {
    LogError(kExportFailedMessage);
  }
  if (written_.size() >= kBatch) Finish();
}

void ExportSession::WriteFile(int16_t apr_id) {
  if (delete_after_ < 0) delete_after_ = DeleteAfterExport(db_);
  std::vector<dao::Recordset> rows = AppraisalRows(db_, apr_id);
  if (columns_.empty()) {
    for (size_t i = 0; i < rows.size(); ++i)
      columns_.push_back(ResolveSteps(ExportWriters()[i].steps, rows[i]));
  }
  const std::string form = FormText(rows[0].Get("MajorForm"));
  const std::string number = rows[0].Get("FileNumber").ToText();
  const nb::Profile file = BuildAppraisalFile(rows, form, columns_);
  // A link in the Inbox's place would take the appraisal, and the clearing of its mark,
  // somewhere the desktop software never looks.
  if (IsLink(AppFolders().inbox)) {
    LogError("the Inbox folder " + AppFolders().inbox +
             " is a link, not a folder: nothing is exported into it");
    throw ExportFailure();
  }
  // A synchronisation killed before the mark was cleared on the handheld brings it back.
  if (auto same = FindIdenticalAppraisalFile(AppFolders().inbox, number, file.Text())) {
    LogError("Recovered: appraisal " + std::to_string(apr_id) + " was already exported as " +
             *same + ": mark cleared, not exported again");
    return;
  }
  std::optional<std::string> path = ChooseAppraisalFile(AppFolders().inbox, number);
  if (!path) throw ExportFailure();
  std::string error;
  if (!file.SaveWithoutFolderSync(*path, &error)) {
    LogError(error);
    throw ExportFailure();
  }
  Progress("exported appraisal " + std::to_string(apr_id) + " to " + *path);
}

void ExportSession::Finish() {
  std::vector<int16_t> batch;
  batch.swap(written_);
  if (batch.empty()) return;
  const bool durable = nb::Profile::SyncFolder(AppFolders().inbox);
  for (int16_t apr_id : batch) {
    try {
      if (!durable) throw ExportFailure();
      Commit(apr_id);
    } catch (const std::exception&) {
      LogError(kExportFailedMessage);
    }
  }
  SyncTables();  // the marks cleared stay cleared
}

void ExportSession::Commit(int16_t apr_id) {
  std::vector<dao::Recordset> rows = AppraisalRows(db_, apr_id);
  dao::Recordset& subject = rows[0];
  subject.Edit();
  subject.Set("SyncX", dao::Value::Text(""));
  subject.Update();
  if (delete_after_ > 0) {
    for (dao::Recordset& r : rows) r.Delete();
  }
}

void ExportAppraisal(int16_t apr_id) {
  std::optional<dao::Database> db;
  try {
    db.emplace(dao::Database::Open(AppFolders().system));
  } catch (const std::exception&) {
    LogError(kExportFailedMessage);
    return;
  }
  ExportSession session(*db);
  session.Export(apr_id);
  session.Finish();
}

}  // namespace valtrix
