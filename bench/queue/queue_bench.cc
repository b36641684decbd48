// queue_bench [--sync] [PRODUCERS [EACH]]: PRODUCERS processes (default 8) queue EACH
// commands (default 1000) while this process drains the queue; prints the time until every
// command was taken and the commands per second. The ring holds 512, so producers keep
// retrying. With --sync real synchronisations (the hotsync program running the conduit)
// drain the queue instead, while this process listens to their notifications.
#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "queue_load.h"
#include "syncutil/syncutil.h"

namespace {

int DrainedBySynchronisations(const char* folder, int producers, int each) {
  std::string error;
  const std::string handheld = std::string(folder) + "/handheld";
  if (!nb::testing::SetUpLoadDesktop(handheld, &error)) {
    std::fprintf(stderr, "queue_bench: %s\n", error.c_str());
    return 1;
  }
  const nb::testing::LoadRun run = nb::testing::RunLoad(handheld, producers, each);
  const int done = int(run.done.size());
  std::printf(
      "%d producers x %d commands: %d run by %d synchronisations in %.0f ms, %.0f commands/s\n",
      producers, each, done, run.syncs, run.seconds * 1000, done / run.seconds);
  if (!run.error.empty()) std::fprintf(stderr, "queue_bench: %s\n", run.error.c_str());
  const bool ok = done == producers * each && run.failed_syncs == 0 && run.error.empty();
  std::filesystem::remove_all(folder);
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const bool sync = argc > 1 && std::string(argv[1]) == "--sync";
  if (sync) --argc, ++argv;
  const int producers = argc > 1 ? std::atoi(argv[1]) : 8;
  const int each = argc > 2 ? std::atoi(argv[2]) : 1000;
  char tmpl[] = "/tmp/nbbench-queue.XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  setenv("NB_PREFIX", tmpl, 1);
  setenv("NB_UI", "headless", 1);
  setenv("NB_UI_LOG", (std::string(tmpl) + "/ui.log").c_str(), 1);  // no install: boxes say so
  if (sync) return DrainedBySynchronisations(tmpl, producers, each);
  // Loaded once the prefix is set: the library maps the shared block of its prefix on load.
  void* lib = dlopen(NB_BIN_DIR "/libsyncutil.so", RTLD_NOW);
  auto next = lib ? reinterpret_cast<decltype(&NB_GetNextCommand)>(dlsym(lib, "NB_GetNextCommand"))
                  : nullptr;
  if (!next) return 1;
  uint32_t type;
  next(&type, nullptr, 0);  // maps the shared block before the clock starts

  const auto start = std::chrono::steady_clock::now();
  std::vector<pid_t> pids;
  for (int p = 0; p < producers; ++p) {
    const pid_t pid = fork();
    if (pid == 0) {
      const std::string prog = NB_BIN_DIR "/syncutil_client", n = std::to_string(each),
                        tag = "p" + std::to_string(p);
      execl(prog.c_str(), prog.c_str(), "enqueue", n.c_str(), tag.c_str(), nullptr);
      _exit(127);
    }
    pids.push_back(pid);
  }
  int taken = 0, running = producers;
  char name[261];
  while (running > 0 || next(&type, name, sizeof name)) {
    while (next(&type, name, sizeof name)) ++taken;
    for (pid_t& pid : pids) {
      int st;
      if (pid > 0 && waitpid(pid, &st, WNOHANG) == pid) pid = 0, --running;
    }
    usleep(200);
  }
  while (next(&type, name, sizeof name)) ++taken;
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  std::printf("%d producers x %d commands: %d taken in %.0f ms, %.0f commands/s\n", producers, each,
              taken, ms, taken / (ms / 1000));
  std::filesystem::remove_all(tmpl);
  return taken == producers * each ? 0 : 1;
}
