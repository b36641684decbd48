// CommonResponses: replaces the handheld pick lists named in TAGTABLE with the responses the
// appraisal software leaves in Outbox "commresp.dat", and deletes the file after a complete
// run. The file is a profile: a "[tag]" line opens a tag's responses, every other non-empty
// line is one response, read as a profile key name.
//
// Each routine catches its own failures, appends its one line to the error log and returns;
// only a failure to write the error log itself leaves them. Stored data is never lost:
// "commresp.dat" is replaced only by a complete filtered copy, and a file that cannot be
// read clears no list.
#pragma once

#include <string>

namespace valtrix {

// The lines the routines log on failure.
inline constexpr const char* kImportFailed = "Common Response Import error";
inline constexpr const char* kFilterFailed = "Common Response Filtering error";
inline constexpr const char* kClearFailed = "Error clearing handheld tags";

// Once per synchronisation, after the import of appraisal data files. Without the file:
// CommonResponsesPending := false and nothing else happens; likewise, with a line in the log,
// when the Outbox is a link to a folder elsewhere. On a failure the remaining
// TAGTABLE rows are skipped and the file stays for the next synchronisation.
void ImportCommonResponses();

// Gives every response line of "commresp.dat" a trailing "=" so it reads as a key, written
// durably over the original; a "cmfiltered.dat" an older run left behind is removed first.
void FilterCommonResponses();

// Deletes every row of the pick list `pick_list` (field Type) in the table `pick_table`
// except its "(Edit list...)" row. Names are values, so any character is fine in them.
void ClearPickList(const std::string& pick_table, const std::string& pick_list);

}  // namespace valtrix
