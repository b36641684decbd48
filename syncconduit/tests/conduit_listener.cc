// A desktop program listening to the conduit's notifications, for tests: writes each as
// "code param" to a file, and can queue commands or hold the synchronisation.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/bus.h"
#include "syncutil/syncutil.h"

namespace {

volatile sig_atomic_t g_stop = 0;
void OnTerm(int) { g_stop = 1; }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
    std::fprintf(stderr,
                 "usage: conduit_listener OUTFILE [--enqueue-on-done TYPE FILE] [--hold MS]\n"
                 "         [--enqueue-on-start TYPE FILE]...\n"
                 "  records every notification as \"code param\"; --enqueue-on-done queues a\n"
                 "  command at the first CommandDone, --enqueue-on-start at SyncStarted; --hold\n"
                 "  raises the wait flag at SyncStarted and lowers it MS milliseconds later\n");
    return 2;
  }
  FILE* out = std::fopen(argv[1], "w");
  if (!out) return 1;
  uint32_t enqueue_type = 0;
  std::string enqueue_file;
  int hold_ms = 0;
  std::vector<std::pair<uint32_t, std::string>> on_start;
  for (int i = 2; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--enqueue-on-done") && i + 2 < argc) {
      enqueue_type = uint32_t(std::atoi(argv[i + 1]));
      enqueue_file = argv[i + 2];
      i += 2;
    } else if (!std::strcmp(argv[i], "--hold") && i + 1 < argc) {
      hold_ms = std::atoi(argv[++i]);
    } else if (!std::strcmp(argv[i], "--enqueue-on-start") && i + 2 < argc) {
      on_start.emplace_back(uint32_t(std::atoi(argv[i + 1])), argv[i + 2]);
      i += 2;
    }
  }
  signal(SIGTERM, OnTerm);
  const uint32_t ipc = NB_GetRegisteredMsg();
  bool holding = false;
  auto window = nb::bus::Window::Create(
      "ConduitListener", "listener", [&](uint32_t msg, uintptr_t code, intptr_t param) {
        if (msg != ipc) return;
        std::fprintf(out, "%u %ld\n", unsigned(code), long(param));
        std::fflush(out);
        if (code == kSyncStarted)
          for (const auto& [type, file] : on_start) NB_AddToCommandQueue(type, file.c_str());
        if (code == kCommandDone && enqueue_type) {
          NB_AddToCommandQueue(enqueue_type, enqueue_file.c_str());
          enqueue_type = 0;
        }
        if (code == kSyncStarted && hold_ms) {
          NB_IncWaitFlag();
          holding = true;
        }
      });
  if (!window) return 1;
  while (!g_stop) {
    window->Pump(50);
    if (holding) {
      // The work happens outside the handler, as a desktop program does it.
      usleep(useconds_t(hold_ms) * 1000);
      std::fprintf(out, "released\n");
      std::fflush(out);
      NB_DecWaitFlag();
      holding = false;
    }
  }
  return 0;
}
