// What every process does when it loads and unloads the library.
#include "environment.h"
#include "errors.h"
#include "platform/bus.h"
#include "shared_block.h"
#include "users.h"

namespace {

__attribute__((constructor)) void OnLoad() {
  syncutil::MapBlock();
  syncutil::ReadEnvironment();
  uint32_t id = nb::bus::RegisterWindowMessage("Nimbra 3.0 IPC Message");
  if (id == 0) syncutil::ShowError(syncutil::kErr1030);
  if (syncutil::SharedBlock* b = syncutil::Block()) b->message_id = static_cast<uint16_t>(id);
}

__attribute__((destructor)) void OnUnload() {
  syncutil::ShutdownUserManager();
  syncutil::UnmapBlock();
}

}  // namespace
