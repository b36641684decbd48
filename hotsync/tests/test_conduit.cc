// A conduit for tests: appends "creator user-name user-id folder" to the file named by
// HS_TEST_CONDUIT_LOG and returns the number in HS_TEST_CONDUIT_RESULT (default 0). Run for
// 'AAAA' with HS_TEST_CONDUIT_MAKE, it creates that database (creator 'BBBB') on the
// handheld, through the sync library in the HotSync folder as a real conduit would. With
// HS_TEST_CONDUIT_BOX it first shows that text in a message box, as a store's error would.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "hotsync/conduit.h"
#include "hotsync/log.h"
#include "hotsync/sync.h"
#include "platform/library.h"
#include "platform/ui.h"

namespace {

long Run(HsSyncProperties* p) {
  if (const char* log = std::getenv("HS_TEST_CONDUIT_LOG")) {
    if (FILE* f = std::fopen(log, "a")) {
      char c[5] = {char(p->creator >> 24), char(p->creator >> 16), char(p->creator >> 8),
                   char(p->creator), 0};
      std::fprintf(f, "%s %s %u %s\n", c, p->user_name, p->user_id, p->local_folder);
      std::fclose(f);
    }
  }
  if (const char* box = std::getenv("HS_TEST_CONDUIT_BOX"))
    nb::ui::MessageBox("Test Conduit", box, nb::ui::Icon::kExclamation);
  const char* make = std::getenv("HS_TEST_CONDUIT_MAKE");
  if (make && p->creator == 0x41414141) {
    void* lib = nb::LoadLibrary("C:\\Palm\\Sync20.dll");
    auto create = reinterpret_cast<SyncCreateDBFn>(nb::GetProcAddress(lib, "SyncCreateDB"));
    auto close = reinterpret_cast<SyncCloseDBFn>(nb::GetProcAddress(lib, "SyncCloseDB"));
    SyncCreateInfo info{};
    std::strncpy(info.name, make, sizeof info.name - 1);
    info.creator = 0x42424242;
    if (!create || create(&info) != 0 || close(info.handle) != 0) return kConduitFailed;
    nb::FreeLibrary(lib);
  }
  const char* result = std::getenv("HS_TEST_CONDUIT_RESULT");
  return result ? std::atol(result) : kConduitOk;
}

}  // namespace

// As a real conduit does, it enters its start and its end in the HotSync log.
extern "C" __attribute__((visibility("default"))) long OpenConduit(ProgressCallbackFn,
                                                                   HsSyncProperties* p) {
  void* lib = nb::LoadLibrary("C:\\Palm\\HsLog20.dll");
  auto log = reinterpret_cast<LogAddEntryFn>(nb::GetProcAddress(lib, "LogAddEntry"));
  if (log) log("", 19, 0);
  const long result = Run(p);
  if (log) log("Test", result == kConduitOk ? 20 : 21, 0);
  nb::FreeLibrary(lib);
  return result;
}
