// Whole synchronisations at scale: a handheld holding N appraisals (all marked for
// export), 50 appraisal data files and common responses in the Outbox, valtrix running,
// one press of the HotSync button. For each N prints the total time, the time of each
// stage (from valtrix's progress lines) per appraisal, the peak resident memory of the
// HotSync process (conduit and plug-ins) and of valtrix, and the disk's floor measured
// right after: N files of the exported files' mean size, each written, fsynced, renamed
// and its folder fsynced. Then the growth of each figure from one N to the next.
//   sync_bench [APPRAISALS...]     (default 100 1000 5000)
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

struct Figures {
  int appraisals = 0;
  double total = 0, up = 0, exported = 0, imported = 0, down = 0, floor = 0;
  double hotsync_mb = 0, valtrix_mb = 0;
  bool ok = false;
};

// N files of `size` bytes as a careful program writes each on its own: write, fsync,
// rename into place, fsync the folder.
double DiskFloor(const std::string& folder, int files, size_t size) {
  fs::create_directories(folder);
  const std::string data(size, 'x');
  Clock::time_point start = Clock::now();
  for (int i = 0; i < files; ++i) {
    const std::string path = folder + "/" + std::to_string(i) + ".vxa", tmp = path + ".tmp";
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || write(fd, data.data(), data.size()) != ssize_t(data.size()) || fsync(fd) != 0)
      std::exit(1);
    close(fd);
    if (rename(tmp.c_str(), path.c_str()) != 0) std::exit(1);
    int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dir < 0 || fsync(dir) != 0) std::exit(1);
    close(dir);
  }
  return Seconds(start, Clock::now());
}

Figures Synchronise(int appraisals) {
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
  if (pipe(out) != 0) std::exit(1);
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

  uintmax_t inbox_bytes = 0;
  int inbox_files = 0;
  for (const auto& e : fs::directory_iterator(app + "/Inbox")) {
    inbox_bytes += e.file_size();
    ++inbox_files;
  }
  Figures f;
  f.appraisals = appraisals;
  f.floor = DiskFloor(root + "/floor", appraisals, inbox_files ? inbox_bytes / inbox_files : 0);

  double settings = When(lines, "stage A>B"), uploaded = When(lines, "tables arrived"),
         exported = When(lines, "stage B>C"), imported = When(lines, "imported ", true),
         responses = When(lines, "common responses"), down_from = When(lines, "stage B>A"),
         end = When(lines, "stage End");
  f.total = total;
  f.up = uploaded;
  f.exported = exported - uploaded;
  f.imported = imported - exported;
  f.down = end - down_from;
  f.hotsync_mb = hotsync_usage.ru_maxrss / 1024.0;
  f.valtrix_mb = valtrix_usage.ru_maxrss / 1024.0;
  f.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && end >= 0 && responses >= 0 &&
         settings >= 0 && inbox_files == appraisals;
  if (!f.ok) {
    std::printf("sync_bench: the synchronisation did not complete (status %d); valtrix said:\n",
                status);
    for (const Line& l : lines) std::printf("  %6.2f %s", l.at, l.text.c_str());
  }
  fs::remove_all(root);
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {100, 1000, 5000};
  std::vector<Figures> runs;
  for (int n : sizes) {
    runs.push_back(Synchronise(n));
    if (!runs.back().ok) return 1;
  }
  std::printf(
      "\nwhole synchronisation, all appraisals marked, 50 files and commresp.dat in the Outbox\n"
      "(floor: as many files of the exported size, each written, fsynced, renamed and its "
      "folder fsynced)\n");
  std::printf("%7s %8s %8s %7s | %9s %9s %10s %9s | %8s %8s\n", "apprs", "total s", "floor s",
              "/floor", "up ms/a", "export", "import/file", "down ms/a", "HotSync", "valtrix");
  for (const Figures& f : runs) {
    const double n = f.appraisals;
    std::printf("%7d %8.2f %8.2f %7.2f | %9.3f %9.3f %10.2f %9.3f | %6.1fMB %6.1fMB\n",
                f.appraisals, f.total, f.floor, f.total / f.floor, 1000 * f.up / n,
                1000 * f.exported / n, 1000 * f.imported / 50, 1000 * f.down / n, f.hotsync_mb,
                f.valtrix_mb);
  }
  for (size_t i = 1; i < runs.size(); ++i) {
    const Figures &a = runs[i - 1], &b = runs[i];
    std::printf(
        "growth %d -> %d appraisals (x%.0f): total x%.2f, export x%.2f, import x%.2f, "
        "floor x%.2f\n",
        a.appraisals, b.appraisals, double(b.appraisals) / a.appraisals, b.total / a.total,
        b.exported / a.exported, b.imported / a.imported, b.floor / a.floor);
  }
  return 0;
}
