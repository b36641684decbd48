// What a synchronisation's downloads change in the eight appraisal tables, kept in
// System/Downloads.pending from before the first download is queued until every one has
// succeeded. The tables go down one after another, so a kill between two of them leaves
// the handheld with some tables from before the export and import and some from after;
// an AprID that a deleting export freed and the import reused would then join two
// appraisals' rows, and a new or deleted appraisal would be torn.
//
// The mark holds, per table and AprID whose rows the downloads change, a fingerprint of
// the rows as the handheld had them and the rows sent. The next synchronisation sends
// again exactly those rows the handheld still has as they were before. A row changed on
// the handheld since is kept, unless its table never went down and an appraisal was added
// or removed under its AprID (it would be joined to another appraisal's rows). Each
// repair is written to the error log. The mark is written with the one durable write; a
// failure throws std::runtime_error naming the file; dao errors are thrown.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace valtrix {

// A fingerprint of the rows of the eight appraisal tables, by table and AprID.
using AppraisalRows = std::map<std::string, std::map<int32_t, std::string>>;

// The System folder's appraisal tables as they are now.
AppraisalRows ReadAppraisalRows();

// `on_handheld`: the tables as this synchronisation brought them from the handheld.
// Writes the mark: every table's rows of each AprID that differ from the tables now.
void NoteDownloadsStarting(const AppraisalRows& on_handheld);
void NoteDownloadsDone();

// Before the export, when a mark is left by a synchronisation whose downloads did not
// all succeed: puts the sent rows into the desktop tables wherever `on_handheld` still
// holds the rows from before them, for the downloads to take to the handheld. A mark that
// cannot be read is logged and nothing is repaired.
void RepairInterruptedDownloads(const AppraisalRows& on_handheld);

// The mark's contents.
struct ChangedRows {
  std::string table;
  int32_t apr_id = 0;
  std::string before;             // fingerprint of the rows the handheld had
  std::vector<std::string> sent;  // each encoded value by value
  bool operator==(const ChangedRows&) const = default;
};
std::string EncodeMark(const std::vector<ChangedRows>& changes);
// Nothing when the text is not a whole mark.
std::optional<std::vector<ChangedRows>> DecodeMark(std::string_view text);

}  // namespace valtrix
