// The cost of the handheld link: the same whole synchronisation of N appraisals, valtrix
// running, once through the virtual handheld folder ("hotsync sync --handheld") and once
// served by the handheld simulator over NetSync on loopback to the resident HotSync
// Manager, each on a desktop set up as sync_bench sets up its own. No appraisal is marked
// and the Outbox is empty, so the tables' way up and down is what is timed, not the
// export's disk writes (sync_bench has those). Prints the total time of each, the link's
// requests per second and the ratio link / folder (the target is 1.5 at most).
//   link_bench [APPRAISALS]     (default 1000)
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/bus.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string kBin = NB_BIN_DIR;

// Standard output to `out`, by default nowhere.
void Run(const std::string& command, const std::string& out = "/dev/null") {
  if (std::system((command + " >'" + out + "' 2>/dev/null").c_str()) != 0) {
    std::fprintf(stderr, "link_bench: failed: %s\n", command.c_str());
    std::exit(1);
  }
}

pid_t Spawn(const std::string& command) {
  pid_t pid = fork();
  if (pid == 0) {
    execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

void End(pid_t pid) {
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
}

bool WindowUp(const char* window_class) {
  for (const auto& w : nb::bus::Windows())
    if (w.window_class == window_class) return true;
  return false;
}

// The NetSync address the resident HotSync Manager says it listens on, once it does.
std::string ListenAddress(const std::string& out) {
  const std::string said = "listens for handhelds: NetSync on ";
  for (int i = 0; i < 400; ++i) {
    std::ifstream in(out);
    for (std::string line; std::getline(in, line);)
      if (size_t at = line.find(said); at != std::string::npos)
        return line.substr(at + said.size(),
                           line.find_first_of(" ,", at + said.size()) - at - said.size());
    usleep(25000);
  }
  std::fprintf(stderr, "link_bench: HotSync Manager does not listen (%s)\n", out.c_str());
  std::exit(1);
}

// A desktop as sync_bench makes it: the conduit for the runtime and the application, a
// handheld holding the application's tables with `appraisals` appraisals.
std::string SetUp(const std::string& root, int appraisals) {
  setenv("NB_PREFIX", (root + "/desktop").c_str(), 1);
  const std::string handheld = root + "/handheld", stage = root + "/stage";
  Run(kBin + "/hotsync init");
  Run(kBin + "/hotsync conduits add QMNB");
  Run(kBin + "/hotsync conduits add vXA1");
  Run(kBin + "/demodesk handheld '" + handheld + "'");
  Run(kBin + "/aprgen -n " + std::to_string(appraisals) + " '" + stage + "'");
  Run(kBin + "/demodesk queue-tables '" + stage + "' vXA1");
  Run(kBin + "/hotsync sync --handheld '" + handheld + "'");
  fs::create_directories(root + "/Valtrix/System");
  fs::create_directories(root + "/Valtrix/Outbox");
  fs::copy_file(stage + "/TAGTABLE.dbf", root + "/Valtrix/System/TAGTABLE.dbf");
  fs::create_symlink(kBin + "/valtrix", root + "/Valtrix/valtrix");
  return handheld;
}

pid_t StartValtrix(const std::string& root) {
  pid_t valtrix = Spawn("'" + root + "/Valtrix/valtrix' >/dev/null 2>&1");
  for (int i = 0; i < 200 && !WindowUp("frmValtrix"); ++i) usleep(50000);
  return valtrix;
}

double Seconds(Clock::time_point from) {
  return std::chrono::duration<double>(Clock::now() - from).count();
}

struct Timed {
  double seconds = 0;
  int requests = 0;
};

Timed OverFolder(const std::string& root, int appraisals) {
  const std::string handheld = SetUp(root, appraisals);
  const pid_t valtrix = StartValtrix(root);
  const Clock::time_point start = Clock::now();
  Run(kBin + "/hotsync sync --handheld '" + handheld + "'");
  Timed t{Seconds(start), 0};
  End(valtrix);
  return t;
}

Timed OverNetSync(const std::string& root, int appraisals) {
  const std::string handheld = SetUp(root, appraisals);
  const pid_t valtrix = StartValtrix(root);
  const pid_t resident =
      Spawn(kBin + "/hotsync run --listen 127.0.0.1:0 >'" + root + "/run.out' 2>&1");
  const std::string address = ListenAddress(root + "/run.out");
  const std::string out = root + "/hhsim.out";
  const Clock::time_point start = Clock::now();
  Run(kBin + "/hhsim --handheld '" + handheld + "' --netsync " + address, out);
  Timed t{Seconds(start), 0};
  std::ifstream in(out);
  for (std::string line; std::getline(in, line);)
    if (size_t at = line.find("HotSync complete, "); at != std::string::npos)
      t.requests = std::atoi(line.c_str() + at + 18);
  End(resident);
  End(valtrix);
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  const int appraisals = argc > 1 ? std::atoi(argv[1]) : 1000;
  setenv("NB_UI", "headless", 1);
  char tmpl[] = "/tmp/nblinkbench.XXXXXX";
  const std::string root = mkdtemp(tmpl);
  std::printf("link_bench: %d appraisals in %s\n", appraisals, root.c_str());
  std::fflush(stdout);
  const Timed folder = OverFolder(root + "/folder", appraisals);
  const Timed link = OverNetSync(root + "/netsync", appraisals);
  fs::remove_all(root);
  std::printf(
      "\nwhole synchronisation, %d appraisals, none marked, valtrix running\n"
      "%-28s %9s %9s %12s\n",
      appraisals, "path", "total s", "requests", "requests/s");
  std::printf("%-28s %9.2f %9s %12s\n", "virtual handheld folder", folder.seconds, "-", "-");
  std::printf("%-28s %9.2f %9d %12.0f\n", "NetSync on loopback (hhsim)", link.seconds,
              link.requests, link.requests / link.seconds);
  const double ratio = link.seconds / folder.seconds;
  std::printf("ratio NetSync / folder: %.2f (target at most 1.50)\n", ratio);
  return 0;
}
