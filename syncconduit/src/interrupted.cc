#include "interrupted.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
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
};

// The mark's bytes: the process ID, then the own commands in one word, so that a single
// store changes them whole.
struct Mark {
  int32_t pid;
  uint32_t own;
};

uint32_t Pack(const Own& o) {
  return uint32_t(o.end) | uint32_t(o.count) << 9 | uint32_t(o.open) << 19;
}
Own Unpack(uint32_t word) {
  return Own{int32_t(word & 511), int(word >> 9 & 1023), (word >> 19 & 1) != 0};
}

Own g_own;
bool g_begun = false;
Mark* g_mark = nullptr;  // the mark file, mapped
QueueState g_seen;       // as the last notification went out

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

// The mark is synced with each change: after a power cut it must match the queue, which is
// synced with each command queued or taken.
void WriteMark() {
  if (!g_mark) return;
  __atomic_store_n(&g_mark->own, Pack(g_own), __ATOMIC_RELEASE);
  if (nb::TheOs().Msync(g_mark, sizeof(Mark), MS_SYNC) != 0)
    std::fprintf(stderr, "syncconduit: cannot bring %s to the disk: %s\n", MarkFile().c_str(),
                 std::strerror(errno));
}

// Writes a fresh mark and maps it: later changes are stores into it, which a kill cannot
// undo or tear, at no disk sync per command.
void StartMark() {
  const Mark fresh{int32_t(getpid()), Pack(g_own)};
  std::string error;
  if (!nb::WriteFileDurably(MarkFile(),
                            std::string_view(reinterpret_cast<const char*>(&fresh), sizeof fresh),
                            &error)) {
    std::fprintf(stderr, "syncconduit: %s\n", error.c_str());
    return;
  }
  const int fd = nb::TheOs().Open(MarkFile().c_str(), O_RDWR | O_CLOEXEC, 0);
  void* map = fd < 0 ? MAP_FAILED
                     : nb::TheOs().Mmap(sizeof(Mark), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (fd >= 0) nb::TheOs().Close(fd);
  if (map == MAP_FAILED) {
    std::fprintf(stderr, "syncconduit: cannot map %s: %s\n", MarkFile().c_str(),
                 std::strerror(errno));
    return;
  }
  g_mark = static_cast<Mark*>(map);
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
  std::string bytes;
  Mark dead{};
  if (nb::ReadWholeFile(MarkFile(), &bytes) && bytes.size() == sizeof dead)
    std::memcpy(&dead, bytes.data(), sizeof dead);
  if (dead.pid > 0 && dead.pid != getpid() && nb::ProcessEnded(pid_t(dead.pid)))
    DropInterruptedTransfers(Unpack(dead.own));
  // A run killed while it wrote its mark leaves the temporary file.
  nb::RemoveAbandonedTemporaries(nb::RunDir());
  g_own = Own{QueueNow().write, 0, false};
  g_begun = true;
  StartMark();
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

void EndCommands() {
  // A run that never began keeps a dead run's mark for the next one.
  if (!g_begun) return;
  if (g_mark) nb::TheOs().Munmap(g_mark, sizeof(Mark));
  g_mark = nullptr;
  g_begun = false;
  // A mark back after a power cut would take the next run for the survivor of a dead one.
  if (nb::TheOs().Unlink(MarkFile().c_str()) == 0) nb::SyncFolder(nb::RunDir());
}

}  // namespace conduit
