// queue_bench [PRODUCERS [EACH]]: PRODUCERS processes (default 8) queue EACH commands
// (default 1000) while this process drains the queue; prints the time until every command
// was taken and the commands per second. The ring holds 512, so producers keep retrying.
#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "syncutil/syncutil.h"

int main(int argc, char** argv) {
  const int producers = argc > 1 ? std::atoi(argv[1]) : 8;
  const int each = argc > 2 ? std::atoi(argv[2]) : 1000;
  char tmpl[] = "/tmp/nbbench-queue.XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  setenv("NB_PREFIX", tmpl, 1);
  setenv("NB_UI", "headless", 1);
  setenv("NB_UI_LOG", (std::string(tmpl) + "/ui.log").c_str(), 1);  // no install: boxes say so
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
