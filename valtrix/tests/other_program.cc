// Another desktop program, for tests: at every SyncStarted it queues a NoOperation of its
// own, which the conduit runs in the same synchronisation, and it writes the file name of
// every finished command to OUTFILE.
#include <signal.h>

#include <cstdio>
#include <cstring>

#include "platform/bus.h"
#include "syncutil/syncutil.h"

namespace {
volatile sig_atomic_t g_stop = 0;
void OnTerm(int) { g_stop = 1; }
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || !std::strcmp(argv[1], "--help")) {
    std::fprintf(stderr, "usage: other_program OUTFILE COMMANDFILE\n");
    return 2;
  }
  FILE* out = std::fopen(argv[1], "w");
  if (!out) return 1;
  signal(SIGTERM, OnTerm);
  const uint32_t ipc = NB_GetRegisteredMsg();
  auto window =
      nb::bus::Window::Create("OtherProgram", "other", [&](uint32_t msg, uintptr_t code, intptr_t) {
        if (msg != ipc) return;
        if (code == kSyncStarted) NB_AddToCommandQueue(kCmdNoOperation, argv[2]);
        if (code == kCommandDone) {
          char file[261];
          NB_GetCmdFilename(file, sizeof file);
          std::fprintf(out, "%s\n", file);
          std::fflush(out);
        }
      });
  if (!window) return 1;
  while (!g_stop) window->Pump(50);
  return 0;
}
