#include "export/export_appraisal.h"

#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "dao/dao.h"
#include "export/export_mapping.h"
#include "export/file_naming.h"
#include "export/writers.h"
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

bool DeleteAfterExport(const dao::Recordset& info) {
  if (info.IsEOF()) return false;  // no settings row: nothing asks for deletion
  dao::Value v = info.Get("DELSYNC");
  if (v.kind() == dao::Value::Kind::Logical) return v.logical();
  if (v.kind() == dao::Value::Kind::Number) return v.number() != 0;
  return false;
}

void Export(int16_t apr_id) {
  const Folders& folders = AppFolders();
  std::span<const ExportWriterMap> writers = ExportWriters();

  dao::Database db = dao::Database::Open(folders.system);
  std::vector<dao::Recordset> rows;
  rows.reserve(writers.size());
  for (const ExportWriterMap& w : writers) {
    rows.push_back(db.Where(std::string(w.table), "APRID", dao::Value::Number(apr_id)));
  }
  dao::Recordset info = db.All("AprInfo");
  if (!info.HasField("DELSYNC")) throw ExportFailure();

  for (dao::Recordset& r : rows) {
    r.MoveLast();
    if (r.IsEOF()) throw ExportFailure();
  }
  if (!info.IsEOF()) info.MoveFirst();

  dao::Recordset& subject = rows[0];
  const std::string form = FormText(subject.Get("MajorForm"));
  std::optional<std::string> path =
      ChooseAppraisalFile(folders.inbox, subject.Get("FileNumber").ToText());
  if (!path) throw ExportFailure();

  if (!BuildAppraisalFile(rows, form).Save(*path)) throw ExportFailure();
  Progress("exported appraisal " + std::to_string(apr_id) + " to " + *path);

  subject.Edit();
  subject.Set("SyncX", dao::Value::Text(""));
  subject.Update();

  if (DeleteAfterExport(info)) {
    for (dao::Recordset& r : rows) r.Delete();
  }
  for (dao::Recordset& r : rows) r.Close();
  info.Close();
  db.Close();
}

}  // namespace

void ExportAppraisal(int16_t apr_id) {
  try {
    Export(apr_id);
  } catch (const std::exception&) {
    LogError(kExportFailedMessage);
  }
}

}  // namespace valtrix
