#include "command_queue.h"

#include <cstring>

#include "syncutil/syncutil.h"

namespace conduit {

bool TakeCommand(Command* c) {
  char file[1040] = {};
  const char* plugin = nullptr;
  *c = Command{};
  // One byte short, so that a name filling the buffer still ends in a terminator.
  if (!NB_GetNextCommandEx(&c->type, file, sizeof file - 1, &c->creator, &plugin, &c->param1,
                           &c->param2, &c->param3))
    return false;
  c->file = file;
  // Only table commands carry a plug-in name; the others hold a reference word.
  const bool named = c->type == kCmdDownloadTable || c->type == kCmdUploadTable ||
                     c->type == kCmdDownloadTableForCreator;
  if (named && plugin) c->plugin = plugin;
  return true;
}

QueueState QueueNow() {
  QueueState q;
  if (!NB_GetQueuePositions(&q.read, &q.write) || q.read < 0) return QueueState{};
  const int spread = (q.write - q.read + kQueueSlots) % kQueueSlots;
  q.length = spread == 0 ? kQueueSlots : spread;  // equal indices with a command: full
  return q;
}

}  // namespace conduit
