// Outbox files whose rows are on their way to the handheld. An imported file is moved to
// System/Imported/ (as "<AprID>-<name>"; commresp.dat under its own name) instead of being
// deleted, and stays there until the tables holding its rows have reached the handheld: a
// synchronisation killed before that must neither lose it nor import it twice.
//
// Every move is one rename; a failure throws std::runtime_error naming the file. A link or
// file in the place of System/Imported is refused (throws) and never followed. Each
// recovery is written to the error log.
#pragma once

#include <cstdint>
#include <string>

namespace valtrix {

// Moves Outbox/name, imported as apr_id, to the kept files.
void KeepImportedFile(const std::string& name, int16_t apr_id);
// Moves the Outbox's commresp.dat to the kept files.
void KeepCommonResponses();

// Once the settings table has arrived: a kept commresp.dat goes back to the Outbox to be
// applied again (replacing pick lists whole is idempotent), unless a newer one waits there.
void RecoverCommonResponses();
// Once the appraisal tables have arrived: a kept file whose AprID and file number are in
// AprSubj reached the handheld and is deleted; any other goes back to the Outbox.
void RecoverImportedFiles();

// Every table went down: the kept files are no longer needed.
void ForgetImportedFiles();

}  // namespace valtrix
