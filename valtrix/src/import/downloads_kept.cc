#include "import/downloads_kept.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>

#include "globals.h"
#include "hotsync/conduit_registry.h"
#include "import/imported_files.h"
#include "import/interrupted_downloads.h"
#include "platform/os.h"
#include "platform/registry.h"

namespace valtrix {
namespace {

std::string SessionNote() { return AppFolders().system + "Downloads.session"; }

// A HotSync Manager value that numbers sessions; nothing when HotSync keeps none.
std::optional<uint32_t> SessionValue(const char* name) {
  const std::string user = hotsync::FindPalmKeys().user;
  if (user.empty()) return std::nullopt;
  return nb::reg::GetDword(nb::reg::Hive::kCurrentUser, user + "\\HotSync Manager", name);
}

void Forget() {
  ForgetImportedFiles();
  NoteDownloadsDone();
}

}  // namespace

void NoteDownloadsSent() {
  const std::optional<uint32_t> session = SessionValue("SyncSession");
  if (!session) return Forget();
  std::string error;
  if (!nb::WriteFileDurably(SessionNote(), std::to_string(*session) + "\n", &error))
    throw std::runtime_error(error);
}

void SettleDownloadsSent(bool session_over) {
  std::string text;
  if (!nb::ReadWholeFile(SessionNote(), &text)) {
    if (errno == ENOENT) return;
    throw std::runtime_error("cannot read " + SessionNote() + ": " + std::strerror(errno));
  }
  char* end = nullptr;
  const unsigned long noted = std::strtoul(text.c_str(), &end, 10);
  const bool readable = end != text.c_str() && *end == '\n';
  if (readable && SessionValue("CleanSyncSession") == noted) {
    // Gone before the note: a kill in between forgets again, which changes nothing.
    Forget();
  } else if (!session_over) {
    return;
  } else if (!readable) {
    LogError("Recovery after an interrupted synchronisation runs: " + SessionNote() +
             " cannot be read");
  }
  nb::TheOs().Unlink(SessionNote().c_str());
}

}  // namespace valtrix
