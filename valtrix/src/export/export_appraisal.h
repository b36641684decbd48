// ExportAppraisal: one appraisal marked for export becomes one appraisal data file in the
// Inbox ("[Header]" with "MajorForm", then "[AppraisalData]" with the writers' keys).
//
// The file is built in memory and written once, under a temporary name synced and renamed
// into place when complete; only once its folder entry is synced too is SyncX cleared and,
// when AprInfo's DELSYNC is true, the appraisal's rows deleted. A failure anywhere (no database, a
// table without a row for the AprID, a missing field outside AprDsc1, no MajorForm, all 27 file
// names taken, the file cannot be written, a table update fails) appends "saving appraisal to VXA"
// to the error log, writes no file when the file was not complete, keeps SyncX and deletes nothing.
// A crash between the file and SyncX leaves a duplicate file at worst. Only a failure of
// the error log itself reaches the caller (std::runtime_error).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dao/dao.h"
#include "export/writers.h"

namespace valtrix {

inline constexpr const char* kExportFailedMessage = "saving appraisal to VXA";

// One appraisal, alone: an ExportSession of its own.
void ExportAppraisal(int16_t apr_id);

// The export of many appraisals over one open database: each table is read once, rows are
// found through the AprID index, and durability is paid per batch. Each file is written and
// synced as ExportAppraisal writes it; after every kBatch files (and at Finish) the Inbox is
// synced once, then the batch's marks are cleared (and rows deleted). A crash before that
// leaves complete files whose appraisals are exported again next time, never half a file.
class ExportSession {
 public:
  static constexpr size_t kBatch = 64;

  explicit ExportSession(dao::Database& db);
  ~ExportSession();  // Finish, a failure of the error log ignored
  ExportSession(const ExportSession&) = delete;
  ExportSession& operator=(const ExportSession&) = delete;

  // ExportAppraisal(apr_id) within the session; the mark is cleared at the batch's end.
  void Export(int16_t apr_id);
  // Ends the batch: syncs the Inbox, then clears the marks of the files written.
  void Finish();

 private:
  void WriteFile(int16_t apr_id);
  void Commit(int16_t apr_id);

  dao::Database& db_;
  int delete_after_ = -1;  // AprInfo's DELSYNC, read once: -1 not yet
  std::vector<StepColumns> columns_;
  std::vector<int16_t> written_;  // files complete, marks not yet cleared
};

}  // namespace valtrix
