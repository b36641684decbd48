#include <exception>

#include "commresp/common_responses.h"
#include "commresp/responses_file.h"
#include "dao/dao.h"
#include "globals.h"

namespace valtrix {

void ClearPickList(const std::string& pick_table, const std::string& pick_list) {
  try {
    dao::Database db = dao::Database::Open(AppFolders().system);
    dao::Recordset rows = db.Where(pick_table, "Type", dao::Value::Text(pick_list));
    if (rows.RecordCount() == 0) return;
    for (rows.MoveFirst(); !rows.IsEOF(); rows.MoveNext()) {
      if (!SameText(rows.Get("Desc").ToText(), kEditListRow)) rows.Delete();
    }
  } catch (const std::exception&) {
    LogError(kClearFailed);
  }
}

}  // namespace valtrix
