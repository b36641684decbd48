#include "unfinished_files.h"

#include <string>

#include "dbase/replace.h"
#include "globals.h"
#include "platform/os.h"

namespace valtrix {
namespace {

void RemoveIn(const std::string& folder) {
  if (IsLink(folder)) return;  // another folder's files are not ours to remove
  for (const std::string& name : nb::RemoveAbandonedTemporaries(folder))
    LogError("Recovered: removed " + folder + name + ", left by an interrupted write");
}

}  // namespace

void RemoveUnfinishedExports() {
  RemoveIn(AppFolders().inbox);
  RemoveIn(AppFolders().outbox);
}

void RemoveUnfinishedTableFiles() {
  RemoveIn(AppFolders().system);
  // A table the conduit was replacing when it was killed is put in place or left as it was.
  for (const std::string& line : dbase::FinishPendingReplacementsIn(AppFolders().system))
    LogError(line);
}

}  // namespace valtrix
