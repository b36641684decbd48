// A desktop program that uses syncutil, for tests that need several real processes.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/bus.h"
#include "syncutil/syncutil.h"

static int Usage() {
  std::fprintf(stderr,
               "usage: syncutil_client COMMAND ...\n"
               "  enqueue N TAG        queue N NoOperation commands named TAG-<i>\n"
               "  drain                take every command, print one file name a line\n"
               "  notify CODE PARAM    broadcast the IPC message as the conduit does\n"
               "  creator ID           set the shared creator ID (decimal)\n"
               "  flush CREATOR        run the wait dialog, print its result\n");
  return 2;
}

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::string cmd = argv[1];
  if (cmd == "enqueue" && argc == 4) {
    int n = std::atoi(argv[2]);
    for (int i = 0; i < n; ++i) {
      std::string name = std::string(argv[3]) + "-" + std::to_string(i);
      // A full queue is retried after a pause: the consumer, draining concurrently, needs
      // the processor more than a producer spinning on the queue's lock.
      while (!NB_AddToCommandQueue(kCmdNoOperation, name.c_str())) usleep(500);
    }
    return 0;
  }
  if (cmd == "drain") {
    uint32_t type;
    char name[261];
    while (NB_GetNextCommand(&type, name, sizeof name)) std::printf("%s\n", name);
    return 0;
  }
  if (cmd == "notify" && argc == 4) {
    nb::bus::Broadcast(NB_GetRegisteredMsg(), std::strtoul(argv[2], nullptr, 10),
                       std::strtol(argv[3], nullptr, 10));
    return 0;
  }
  if (cmd == "creator" && argc == 3) {
    NB_SetCreatorId(static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10)));
    return 0;
  }
  if (cmd == "flush" && argc == 3) {
    std::printf("%d\n", NB_FlushCommandQueueEx(nullptr, std::strtoul(argv[2], nullptr, 10)));
    return 0;
  }
  return Usage();
}
