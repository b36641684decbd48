// Putting a table built beside its old version in place, the .dbf and .dbt together.
//
// The new files are written under temporary names (a killed writer's are removed like any
// other temporary). Committing renames them to staged names, the memo file first; the
// staged table file is the point of no return. From then on the new pair replaces the old
// one: at once, or, after a crash or a failing rename, at the next open or creation of the
// table (FinishPendingReplacement, which Table::Open and Table::Create call). A staged memo
// file without a staged table file is an unfinished commit and is removed. A reader through
// Table::Open therefore sees the old pair or the new one, never one file of each. A table
// without memo fields is a single rename and leaves an old memo file alone.
#pragma once

#include <string>
#include <vector>

namespace dbase {

// The staged name of a table or memo file.
std::string StagedPathFor(const std::string& path);

// Replaces table_path, and MemoPathFor(table_path) when memo_temp is not empty, with the
// synced temporaries. On failure *error names the file and the reason; before the point of
// no return the temporaries are removed and the old files are untouched, after it the
// replacement is left pending.
bool CommitReplacement(const std::string& table_temp, const std::string& memo_temp,
                       const std::string& table_path, std::string* error);

// Finishes, or drops when it had not reached the point of no return, what an interrupted
// commit left beside table_path; *note says what was done, empty when nothing was pending.
// False with *error when a pending replacement cannot be finished.
bool FinishPendingReplacement(const std::string& table_path, std::string* note, std::string* error);

// FinishPendingReplacement for every table of `folder` with something staged; what was
// done, and what could not be, one line each.
std::vector<std::string> FinishPendingReplacementsIn(const std::string& folder);

}  // namespace dbase
