// The command queue loaded while real synchronisations drain it, for the load test and
// queue_bench: producer processes queue commands while `hotsync sync` runs again and
// again, as a user pressing the HotSync button would, until the producers are done and the
// queue is empty. The calling process listens on the bus as a desktop program does and
// takes, at each CommandDone, the file name of the command the conduit has just run from
// the shared block. Works on the desktop of $NB_PREFIX; failures come back as text.
#pragma once

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "pdbfile/bytes.h"
#include "pdbfile/pdbfile.h"
#include "platform/bus.h"
#include "platform/prefix.h"
#include "syncutil/syncutil.h"
#include "test_files.h"

namespace nb::testing {

// Starts a program of the build with its output appended to `out`; its process ID.
inline pid_t StartQuiet(const std::vector<std::string>& args, const std::string& out) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    dup2(fd, 1);
    dup2(fd, 2);
    std::vector<char*> argv;
    std::vector<std::string> copy = args;
    for (std::string& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

// Exit status of a started program, or -1; `pump` runs while it has not ended.
template <typename Pump>
int Finish(pid_t pid, Pump pump) {
  int st = 0;
  for (;;) {
    const pid_t r = waitpid(pid, &st, WNOHANG);
    if (r == pid) return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    if (r < 0) return -1;
    pump();
  }
}

// HotSync with the conduit for 'QMNB', and a handheld in `handheld` holding the runtime's
// directory.
inline bool SetUpLoadDesktop(const std::string& handheld, std::string* error) {
  const std::string hotsync = NB_BIN_DIR "/hotsync", out = Prefix() + "/setup.out";
  auto run = [&](std::vector<std::string> args) {
    return Finish(StartQuiet(args, out), [] { usleep(1000); }) == 0;
  };
  if (!run({hotsync, "init"}) || !run({hotsync, "conduits", "add", "QMNB"})) {
    *error = "cannot set up HotSync:\n" + Slurp(out);
    return false;
  }
  std::filesystem::create_directories(handheld);
  std::ofstream(handheld + "/handheld.ini") << "[Handheld]\r\nUserName=Pat Appraiser\r\n"
                                               "UserID=4242\r\n";
  pdb::Database dir;
  dir.name = "NB-EE_SysHeap";
  dir.type = pdb::FourCC("DATA");
  dir.creator = pdb::FourCC("QMNB");
  dir.app_info = {'N', 'B', 'D', 'R', 0x02, 0x10};
  dir.app_info.resize(26);
  return pdb::WriteFile(handheld + "/NB-EE_SysHeap.pdb", dir, {}, error);
}

struct LoadRun {
  int syncs = 0;                  // synchronisations run
  int failed_syncs = 0;           // of them, the ones that did not end with 0
  int failed_producers = 0;       // producers that did not exit with 0
  int started = 0, finished = 0;  // SyncStarted and SyncFinished seen
  int failed_commands = 0;        // CommandDone with 0
  std::vector<std::string> done;  // the file name of each CommandDone, in order
  double seconds = 0;             // from the first producer's start until the queue was empty
  std::string error;              // why the run could not be made
};

// `producers` processes queue `each` NoOperation commands named "p<P>-<I>";
// synchronisations run one after the other until one has started after every producer was
// done.
inline LoadRun RunLoad(const std::string& handheld, int producers, int each) {
  LoadRun run;
  void* lib = dlopen(NB_BIN_DIR "/libsyncutil.so", RTLD_NOW | RTLD_LOCAL);
  auto message =
      lib ? reinterpret_cast<decltype(&NB_GetRegisteredMsg)>(dlsym(lib, "NB_GetRegisteredMsg"))
          : nullptr;
  auto command =
      lib ? reinterpret_cast<decltype(&NB_GetCmdFilename)>(dlsym(lib, "NB_GetCmdFilename"))
          : nullptr;
  if (!message || !command) {
    run.error = "cannot load syncutil";
    if (lib) dlclose(lib);
    return run;
  }
  const uint32_t ipc = message();
  auto window = bus::Window::Create("QueueLoad", "listener",
                                    [&](uint32_t msg, uintptr_t code, intptr_t param) {
                                      if (msg != ipc) return;
                                      run.started += code == kSyncStarted;
                                      run.finished += code == kSyncFinished;
                                      if (code != kCommandDone) return;
                                      char name[261] = {};
                                      command(name, sizeof name);
                                      run.done.push_back(name);
                                      run.failed_commands += param == 0;
                                    });
  if (!window) {
    run.error = "cannot listen on the bus";
    dlclose(lib);
    return run;
  }

  const std::string out = Prefix() + "/load.out";
  const auto start = std::chrono::steady_clock::now();
  std::vector<pid_t> pids;
  for (int p = 0; p < producers; ++p) {
    pids.push_back(StartQuiet(
        {NB_BIN_DIR "/syncutil_client", "enqueue", std::to_string(each), "p" + std::to_string(p)},
        out));
  }
  for (bool last = false; !last;) {
    last = true;
    for (pid_t& pid : pids) {
      int st = 0;
      if (pid > 0 && waitpid(pid, &st, WNOHANG) == pid) {
        run.failed_producers += !(WIFEXITED(st) && WEXITSTATUS(st) == 0);
        pid = 0;
      }
      last = last && pid == 0;
    }
    ++run.syncs;
    const pid_t sync = StartQuiet({NB_BIN_DIR "/hotsync", "sync", "--handheld", handheld}, out);
    // The broadcast waits for our handler, so every notification is in once it has ended.
    run.failed_syncs += Finish(sync, [&] { window->Pump(20); }) != 0;
  }
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  window.reset();
  dlclose(lib);
  return run;
}

}  // namespace nb::testing
