// ExportAppraisal: one appraisal marked for export becomes one appraisal data file in the
// Inbox ("[Header]" with "MajorForm", then "[AppraisalData]" with the writers' keys).
//
// The file is built in memory and written once, under a temporary name renamed into place
// when complete; only then is SyncX cleared and, when AprInfo's DELSYNC is true, the
// appraisal's rows deleted. A failure anywhere (no database, a table without a row for the
// AprID, a missing field outside AprDsc1, no MajorForm, all 27 file names taken, the file
// cannot be written, a table update fails) appends "saving appraisal to VXA" to the error
// log, writes no file when the file was not complete, keeps SyncX and deletes nothing.
// A crash between the file and SyncX leaves a duplicate file at worst. Only a failure of
// the error log itself reaches the caller (std::runtime_error).
#pragma once

#include <cstdint>

namespace valtrix {

inline constexpr const char* kExportFailedMessage = "saving appraisal to VXA";

void ExportAppraisal(int16_t apr_id);

}  // namespace valtrix
