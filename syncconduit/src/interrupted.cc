#include "interrupted.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "command_queue.h"
#include "platform/os.h"
#include "platform/prefix.h"
#include "sync_ops.h"
#include "syncutil/syncutil.h"

namespace conduit {
namespace {

struct Own {
  int32_t end = 0;
  int count = 0;
  bool open = false;
  bool operator==(const Own& o) const { return end == o.end && count == o.count && open == o.open; }
};

const Own kNoMark{-1, -1, false};
Own g_own;
Own g_marked = kNoMark;
QueueState g_seen;  // as the last notification went out

std::string MarkFile() { return nb::RunDir() + "/syncconduit.running"; }

bool TableTransfer(uint32_t type) {
  return type == kCmdDownloadTable || type == kCmdUploadTable ||
         type == kCmdDownloadTableForCreator;
}

// How many of the queued commands lie before slot `end`; -1 when `end` is past the last
// one, which means the queue was emptied and filled again since `end` was taken.
int QueuedBefore(const QueueState& q, int32_t end) {
  if (q.length == 0) return 0;
  int n = (end - q.read + kQueueSlots) % kQueueSlots;
  if (n == 0 && q.length == kQueueSlots) n = kQueueSlots;
  return n <= q.length ? n : -1;
}

void WriteMark() {
  if (g_own == g_marked) return;
  std::string error;
  const std::string text = std::to_string(getpid()) + " " + std::to_string(g_own.end) + " " +
                           std::to_string(g_own.count) + " " + (g_own.open ? "1" : "0") + "\n";
  // Whole after a kill is what counts; the queue it describes is not synced either.
  if (!nb::WriteFileDurably(MarkFile(), text, &error, nb::FolderSync::kDeferred)) {
    std::fprintf(stderr, "syncconduit: %s\n", error.c_str());
    g_marked = kNoMark;
    return;
  }
  g_marked = g_own;
}

void DropInterruptedTransfers(const Own& own) {
  const QueueState q = QueueNow();
  // The dead run's commands are the drained ones from `first` up to `last`.
  const int ahead = QueuedBefore(q, own.end);
  int first = ahead < 0 ? 0 : ahead - std::min(own.count, ahead);
  int last = own.open ? q.length : ahead;
  if (ahead < 0 && !own.open) first = last = 0;
  int dropped = 0;
  if (first < last) {
    // Everything comes out and the rest goes back, so the order stays.
    std::vector<Command> kept;
    Command c;
    for (int i = 0; TakeCommand(&c); ++i) {
      if (i >= first && i < last && TableTransfer(c.type))
        ++dropped;
      else
        kept.push_back(c);
    }
    for (const Command& k : kept)
      NB_AddToCommandQueueEx(k.type, k.file.c_str(), k.creator, k.plugin.c_str(), k.param1,
                             k.param2, k.param3);
  }
  Log("Nimbra: the last synchronisation was interrupted; " + std::to_string(dropped) +
          " table transfers it left in the queue were not carried out.",
      -1, true);
}

}  // namespace

void BeginCommands() {
  long pid = 0;
  Own dead;
  int open = 0;
  std::ifstream(MarkFile()) >> pid >> dead.end >> dead.count >> open;
  dead.open = open == 1;
  if (pid > 0 && pid != long(getpid()) && kill(pid_t(pid), 0) != 0 && errno == ESRCH)
    DropInterruptedTransfers(dead);
  // A run killed while it wrote its mark leaves the temporary file.
  nb::RemoveAbandonedTemporaries(nb::RunDir());
  g_own = Own{QueueNow().write, 0, false};
  g_marked = kNoMark;
  WriteMark();
}

void BeforeNotification() {
  const QueueState q = QueueNow();
  // What was queued after our own commands since the last mark counts as ours.
  const int after = (q.write - g_own.end + kQueueSlots) % kQueueSlots;
  const int count = g_own.count > 0 ? std::min(q.length, g_own.count + after) : 0;
  g_own = Own{q.write, count, true};
  g_seen = q;
  WriteMark();
}

void AfterNotification() {
  // Only enqueues happen while a notification is out: the conduit alone takes commands.
  const QueueState q = QueueNow();
  g_own = Own{q.write, std::clamp(g_own.count + q.length - g_seen.length, 0, q.length), false};
  g_seen = q;
}

void AfterTake() {
  const QueueState q = QueueNow();
  g_own.count = std::max(0, std::min(g_own.count, QueuedBefore(q, g_own.end)));
  WriteMark();
}

void EndCommands() { nb::TheOs().Unlink(MarkFile().c_str()); }

}  // namespace conduit
