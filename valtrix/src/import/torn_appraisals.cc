#include "import/torn_appraisals.h"

#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "dao/dao.h"
#include "globals.h"
#include "platform/os.h"

namespace valtrix {
namespace {

std::string DownloadsMark() { return AppFolders().system + "Downloads.pending"; }

}  // namespace

void NoteDownloadsStarting() {
  std::string error;
  if (!nb::WriteFileDurably(DownloadsMark(), "", &error)) throw std::runtime_error(error);
}

void NoteDownloadsDone() { nb::TheOs().Unlink(DownloadsMark().c_str()); }

void RemoveTornAppraisals() {
  if (!std::filesystem::exists(DownloadsMark())) return;
  dao::Database db = dao::Database::Open(AppFolders().system);
  std::vector<std::string> tables;
  for (size_t i = kAprSubj; i <= kAprVC; ++i)
    tables.push_back(std::filesystem::path(AppFolders().handheld_tables[i]).stem().string());

  std::map<int32_t, size_t> tables_holding;
  for (const std::string& table : tables) {
    std::set<int32_t> ids;
    dao::Recordset rs = db.All(table);
    if (!rs.IsBOF() && !rs.IsEOF()) rs.MoveFirst();
    for (; !rs.IsEOF(); rs.MoveNext()) ids.insert(rs.Get("APRID").ToInt());
    for (int32_t id : ids) ++tables_holding[id];
  }
  std::set<int32_t> torn;
  for (const auto& [id, count] : tables_holding)
    if (count != tables.size()) torn.insert(id);
  if (torn.empty()) return;

  for (const std::string& table : tables) {
    dao::Recordset rs = db.All(table);
    if (!rs.IsBOF() && !rs.IsEOF()) rs.MoveFirst();
    for (; !rs.IsEOF(); rs.MoveNext())
      if (torn.count(rs.Get("APRID").ToInt())) rs.Delete();
  }
  db.Close();
  for (int32_t id : torn)
    LogError(
        "Recovered: appraisal " + std::to_string(id) +
        " had rows in only some tables after an interrupted synchronisation; they were removed");
}

}  // namespace valtrix
