// One whole synchronisation at scale: a handheld holding N appraisals (all marked for
// export), 50 appraisal data files and common responses in the Outbox, valtrix running,
// one press of the HotSync button. Prints the total time, the time of each stage (from
// valtrix's progress lines) and the peak resident memory of the HotSync process (conduit
// and plug-ins) and of valtrix.
//   sync_bench [APPRAISALS]     (default 1000)
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "export/export_appraisal.h"
#include "globals.h"
#include "platform/bus.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::string kBin = NB_BIN_DIR;

void Run(const std::string& command) {
  if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) {
    std::fprintf(stderr, "sync_bench: failed: %s\n", command.c_str());
    std::exit(1);
  }
}

struct Line {
  double at;  // seconds since the press
  std::string text;
};

double Seconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

// The time of the first line containing `text` (at or after `from`), or -1.
double When(const std::vector<Line>& lines, const std::string& text, bool last = false) {
  double found = -1;
  for (const Line& l : lines)
    if (l.text.find(text) != std::string::npos) {
      found = l.at;
      if (!last) break;
    }
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  const int appraisals = argc > 1 ? std::atoi(argv[1]) : 1000;
  const int outbox_files = 50;
  char tmpl[] = "/tmp/nbsyncbench.XXXXXX";
  const std::string root = mkdtemp(tmpl);
  setenv("NB_PREFIX", (root + "/desktop").c_str(), 1);
  setenv("NB_UI", "headless", 1);
  const std::string handheld = root + "/handheld", stage = root + "/stage", app = root + "/Valtrix";
  std::printf("sync_bench: setting up %d appraisals in %s\n", appraisals, root.c_str());
  std::fflush(stdout);

  Run(kBin + "/hotsync init");
  Run(kBin + "/hotsync conduits add QMNB");
  Run(kBin + "/hotsync conduits add vXA1");
  Run(kBin + "/demodesk handheld '" + handheld + "'");
  Run(kBin + "/aprgen -n " + std::to_string(appraisals) + " --marked all '" + stage + "'");
  Run(kBin + "/demodesk queue-tables '" + stage + "' vXA1");
  Run(kBin + "/hotsync sync --handheld '" + handheld + "'");

  // The appraisal software's files: exports of other generated appraisals.
  const std::string gen = root + "/gen";
  Run(kBin + "/aprgen -n " + std::to_string(outbox_files) + " --first-id 5001 '" + gen +
      "/System'");
  valtrix::Folders gen_folders = valtrix::MakeFolders(gen);
  fs::create_directories(gen_folders.inbox);
  valtrix::SetAppFolders(gen_folders);
  for (int id = 5001; id < 5001 + outbox_files; ++id) valtrix::ExportAppraisal(int16_t(id));
  fs::create_directories(app + "/Outbox");
  fs::create_directories(app + "/System");
  for (const auto& e : fs::directory_iterator(gen_folders.inbox))
    fs::rename(e.path(), app + "/Outbox/" + e.path().filename().string());
  fs::copy_file(stage + "/TAGTABLE.dbf", app + "/System/TAGTABLE.dbf");
  std::ofstream(app + "/Outbox/commresp.dat")
      << "[ROOF]\r\nArchitectural shingle\r\nStanding seam metal\r\n[HEATING]\r\nHeat pump\r\n";

  // valtrix, its progress lines stamped as they arrive.
  fs::create_symlink(kBin + "/valtrix", app + "/valtrix");
  int out[2];
  if (pipe(out) != 0) return 1;
  pid_t valtrix = fork();
  if (valtrix == 0) {
    dup2(out[1], 1);
    close(out[0]);
    close(out[1]);
    const std::string program = app + "/valtrix";
    execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  std::mutex mu;
  std::vector<Line> lines;
  Clock::time_point press{};
  std::thread reader([&] {
    FILE* in = fdopen(out[0], "r");
    char buf[4096];
    while (in && std::fgets(buf, sizeof buf, in)) {
      std::lock_guard<std::mutex> lock(mu);
      lines.push_back({Seconds(press, Clock::now()), buf});
    }
  });
  for (int i = 0; i < 200; ++i) {
    bool up = false;
    for (const auto& w : nb::bus::Windows()) up |= w.window_class == "frmValtrix";
    if (up) break;
    usleep(50000);
  }

  press = Clock::now();
  pid_t hotsync = fork();
  if (hotsync == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    execl((kBin + "/hotsync").c_str(), "hotsync", "sync", "--handheld", handheld.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage hotsync_usage{}, valtrix_usage{};
  wait4(hotsync, &status, 0, &hotsync_usage);
  const double total = Seconds(press, Clock::now());
  kill(valtrix, SIGTERM);
  wait4(valtrix, nullptr, 0, &valtrix_usage);
  reader.join();

  double settings = When(lines, "stage A>B"), uploaded = When(lines, "tables arrived"),
         exported = When(lines, "stage B>C"), imported = When(lines, "imported ", true),
         responses = When(lines, "common responses"), down_from = When(lines, "stage B>A"),
         end = When(lines, "stage End");
  std::printf(
      "\nwhole synchronisation: %d appraisals on the handheld (all marked), %d files "
      "and commresp.dat in the Outbox\n",
      appraisals, outbox_files);
  std::printf("  %-34s %9.2f s\n", "total (press to end of HotSync)", total);
  std::printf("  %-34s %9.2f s\n", "settings table up", settings);
  std::printf("  %-34s %9.2f s\n", "12 tables up", uploaded - settings);
  std::printf("  %-34s %9.2f s  (%.0f appraisals/s)\n", "export", exported - uploaded,
              appraisals / (exported - uploaded));
  std::printf("  %-34s %9.2f s  (%.0f files/s)\n", "import", imported - exported,
              outbox_files / (imported - exported));
  std::printf("  %-34s %9.2f s\n", "common responses", responses - imported);
  std::printf("  %-34s %9.2f s\n", "13 tables down", end - down_from);
  std::printf("  %-34s %9.1f MB\n", "peak memory, HotSync + conduit",
              hotsync_usage.ru_maxrss / 1024.0);
  std::printf("  %-34s %9.1f MB\n", "peak memory, valtrix", valtrix_usage.ru_maxrss / 1024.0);
  std::error_code ec;
  std::printf("  %-34s %9.1f MB\n", "size of the AprDsc1 table",
              double(fs::file_size(app + "/System/AprDsc1.dbf", ec)) / 1048576.0);
  bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && end >= 0;
  if (!ok) {
    std::printf("sync_bench: the synchronisation did not complete (status %d); valtrix said:\n",
                status);
    for (const Line& l : lines) std::printf("  %6.2f %s", l.at, l.text.c_str());
  }
  fs::remove_all(root);
  return ok ? 0 : 1;
}
