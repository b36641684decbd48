// ImportAppraisals: every appraisal data file waiting in the OutboxFolder becomes a new
// appraisal in the eight appraisal tables of the SystemFolder, and the file is deleted.
//
// Failures are exceptions (dao::Error, std::runtime_error) with a message naming the file
// and, for a key that could not be stored, the key and its value; the same message goes to
// the error log. A failing file leaves no row in any of the eight tables and stays in the
// Outbox, and the loop stops there; files imported before it stay imported.
//
// The sync flow does not delete a file: it keeps it (imported_files.h) until its rows have
// reached the handheld; until then the rows live only in desktop tables that the next
// upload replaces, and the file is what would bring them back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dao/dao.h"

namespace valtrix {

namespace import {
class AppraisalFile;
}

// The form's import loop: the Outbox's files in name order; each whose name ends in ".vxa"
// (any case) is imported and its name added to `imported` (its AprID to `ids`, if given); the
// files stay. A read-only file could not be deleted afterwards, so it is not imported and
// stops the loop. An Outbox that is a link is refused (throws): its files would be taken
// out of another folder.
void ImportAppraisals(std::vector<std::string>& imported, std::vector<int16_t>* ids = nullptr);

// Deletes these Outbox files, each failure logged; throws after trying them all when one
// could not be deleted.
void DeleteAppraisalFiles(const std::vector<std::string>& names);

// Takes back what the import stored for these AprIDs: in each of the eight tables the last
// row with that AprID, the one the import appended. Throws dao::Error.
void TakeBackAppraisals(const std::vector<int16_t>& ids);

// The loop, then the deletion of its files when every file was imported.
void ImportAppraisals();

// Imports OutboxFolder + name as a new appraisal and returns its AprID (one above the
// highest AprID of AprSubj, 1 on an empty table). The file is not deleted.
int16_t ImportAppraisal(const std::string& name);

namespace import {
// Imports of one stage over one open database: the tables are opened once, and the highest
// AprID is found once and then kept, so a file's import does not grow with the tables.
class ImportSession {
 public:
  // ImportAppraisalFile within the session.
  int16_t Import(const AppraisalFile& file);

 private:
  std::optional<dao::Database> db_;
  std::optional<dao::Value> highest_;  // of AprSubj
};

// ImportAppraisal over keys from `file` (the loop reads each file once; a benchmark hands
// in other readers).
int16_t ImportAppraisalFile(const AppraisalFile& file);
}  // namespace import

}  // namespace valtrix
