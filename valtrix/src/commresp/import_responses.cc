#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <exception>
#include <string>
#include <vector>

#include "commresp/common_responses.h"
#include "commresp/responses_file.h"
#include "dao/dao.h"
#include "globals.h"
#include "import/imported_files.h"
#include "platform/os.h"
#include "platform/text.h"

namespace valtrix {
namespace {

struct TagRow {
  std::string tag;
  std::string pick_table;
  std::string pick_list;
};

std::string FieldText(const dao::Recordset& rs, const char* field) {
  return std::string(TrimTrailingBlanks(rs.Get(field).ToText()));
}

// Rows whose PickField is a lone double quote (or empty) name no list.
std::vector<TagRow> ReadTagTable(dao::Database& db) {
  std::vector<TagRow> rows;
  dao::Recordset rs = db.All("TAGTABLE");
  if (!rs.IsEOF()) rs.MoveFirst();  // an empty selection has no first row
  for (; !rs.IsEOF(); rs.MoveNext()) {
    TagRow row{FieldText(rs, "Tag"), FieldText(rs, "PickTable"), FieldText(rs, "PickField")};
    if (row.pick_list.empty() || row.pick_list == "\"") continue;
    rows.push_back(std::move(row));
  }
  if (rows.empty()) throw dao::Error("TAGTABLE names no pick list");
  return rows;
}

void AddResponses(dao::Database& db, const TagRow& row, const std::vector<std::string>& names) {
  dao::Recordset rs = db.All(row.pick_table);
  // A response is cut to its table's limit and, when the column is narrower still, to the
  // column, so one long response cannot stop every later list at every synchronisation.
  size_t limit = ResponseLimit(row.pick_table);
  if (int width = rs.GetField("Desc").Size(); width > 0)
    limit = std::min(limit, static_cast<size_t>(width));
  for (const std::string& name : names) {
    rs.AddNew();
    rs.Set("Type", dao::Value::Text(row.pick_list));
    rs.Set("Desc", dao::Value::Text(name.substr(0, limit)));
    rs.Update();
  }
}

bool IsFile(const std::string& path) {
  struct stat st;
  return nb::TheOs().Stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

void ImportCommonResponses() {
  const std::string file = CommonResponsesPath();
  if (IsLink(AppFolders().outbox) && IsFile(file)) {
    LogError("the Outbox folder " + AppFolders().outbox +
             " is a link, not a folder: common responses are not taken from it");
    CommonResponsesPending = false;
    return;
  }
  if (!IsFile(file)) {
    CommonResponsesPending = false;
    return;
  }
  FilterCommonResponses();
  try {
    // Read once; a file that has gone or cannot be read would otherwise empty every list.
    std::string text;
    if (!ReadWholeFile(file, text)) throw dao::Error("cannot read " + file);
    nb::Windows1252Text converted = nb::ToWindows1252(text);
    if (!converted.error.empty()) {
      // Kept for the next synchronisation rather than stored with the character lost.
      LogError(file + ": " + converted.error);
      throw dao::Error(converted.error);
    }
    const nb::Profile responses = nb::Profile::Parse(converted.text);

    dao::Database db = dao::Database::Open(AppFolders().system);
    size_t lists = 0;
    for (const TagRow& row : ReadTagTable(db)) {
      ClearPickList(row.pick_table, row.pick_list);
      AddResponses(db, row, ResponseNames(responses, row.tag));
      ++lists;
    }
    // Kept, not deleted, until the pick lists have reached the handheld.
    KeepCommonResponses();
    Progress("common responses replaced " + std::to_string(lists) + " pick lists");
  } catch (const std::exception&) {
    LogError(kImportFailed);
  }
}

}  // namespace valtrix
