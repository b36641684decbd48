// An appraisal with rows in only some of the eight appraisal tables: a synchronisation was
// killed between the downloads of its tables, so the handheld held some tables from before
// and some from after an import or a deleting export. Its rows are removed from the
// desktop tables (the next downloads take that to the handheld): a kept import file brings
// it back whole, and an exported one is already in the Inbox. Each removal is written to
// the error log; dao errors are thrown.
#pragma once

namespace valtrix {

// On the tables just brought from the handheld, before the export; only after a
// synchronisation whose downloads did not all finish, since an appraisal the appraiser is
// still filling in may lack rows too, and must be left alone.
void RemoveTornAppraisals();

// Around the downloads: a mark in the System folder that they are under way, durable
// before the first is queued, removed when every one has succeeded. A failure to set it
// throws std::runtime_error naming the file.
void NoteDownloadsStarting();
void NoteDownloadsDone();

}  // namespace valtrix
