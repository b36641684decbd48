// The library's start, on first use rather than at load: loading syncutil touches nothing
// of the desktop, so a program can answer --help on a bare desktop.
#include <mutex>

#include "environment.h"
#include "errors.h"
#include "platform/bus.h"
#include "shared_block.h"
#include "users.h"

namespace syncutil {

void EnsureStarted() {
  static std::once_flag started;
  // The start's own error box starts nothing again.
  static thread_local bool starting = false;
  if (starting) return;
  std::call_once(started, [] {
    starting = true;
    SharedBlock* block = MapBlock();
    ReadEnvironment();
    uint32_t id = nb::bus::RegisterWindowMessage("Nimbra 3.0 IPC Message");
    if (id == 0) ShowError(kErr1030);
    if (block) block->message_id = static_cast<uint16_t>(id);
    starting = false;
  });
}

}  // namespace syncutil

namespace {

__attribute__((destructor)) void OnUnload() {
  syncutil::ShutdownUserManager();
  syncutil::UnmapBlock();
}

}  // namespace
