#include "durability.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include "dbase/table.h"
#include "platform/durable_folder.h"

namespace valtrix {

void CreateFolders(const Folders& folders) {
  for (const std::string& folder : {folders.system, folders.outbox, folders.inbox}) {
    if (!nb::MakeFolderDurably(folder, 0777))
      throw std::runtime_error("cannot create the folder " + folder + ": " + std::strerror(errno));
  }
}

void SyncTables() {
  std::string error;
  if (!dbase::SyncChangedTables(&error)) throw std::runtime_error(error);
}

}  // namespace valtrix
