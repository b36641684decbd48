#include "interrupted.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>

#include "dispatch.h"
#include "platform/prefix.h"
#include "sync_ops.h"
#include "syncutil/syncutil.h"

namespace conduit {
namespace {

std::string MarkFile() { return nb::RunDir() + "/syncconduit.running"; }

bool TableTransfer(uint32_t type) {
  return type == kCmdDownloadTable || type == kCmdUploadTable ||
         type == kCmdDownloadTableForCreator;
}

void DropInterruptedTransfers() {
  std::vector<Command> kept;
  int dropped = 0;
  char file[1040];
  Command c;
  const char* plugin = nullptr;
  for (;;) {
    std::memset(file, 0, sizeof file);
    plugin = nullptr;
    if (!NB_GetNextCommandEx(&c.type, file, sizeof file - 1, &c.creator, &plugin, &c.param1,
                             &c.param2, &c.param3))
      break;
    if (TableTransfer(c.type)) {
      ++dropped;
      continue;
    }
    c.file = file;
    kept.push_back(c);
  }
  for (const Command& k : kept)
    NB_AddToCommandQueueEx(k.type, k.file.c_str(), k.creator, nullptr, k.param1, k.param2,
                           k.param3);
  Log("Nimbra: the last synchronisation was interrupted; " + std::to_string(dropped) +
          " table transfers it left in the queue were not carried out.",
      -1, true);
}

}  // namespace

void BeginCommands() {
  const std::string mark = MarkFile();
  long pid = 0;
  std::ifstream(mark) >> pid;
  if (pid > 0 && pid != long(getpid()) && kill(pid_t(pid), 0) != 0 && errno == ESRCH)
    DropInterruptedTransfers();
  std::ofstream(mark, std::ios::trunc) << getpid() << "\n";
}

void EndCommands() { ::unlink(MarkFile().c_str()); }

}  // namespace conduit
