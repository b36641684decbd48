// Appraisal data files imported per second: the import (each file read and parsed once)
// against a reader that opens, reads and parses the file for every key, as the platform's
// profile function does, over the same files and tables in the same run.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "aprtables.h"
#include "export/export_appraisal.h"
#include "globals.h"
#include "import/appraisal_file.h"
#include "import/import_appraisals.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 1000;
// The re-reading reader needs some seconds per hundred files; a sample gives its rate.
constexpr int kRereadFiles = 50;

// Keys read from the file anew at every read.
class RereadingFile final : public valtrix::import::AppraisalFile {
 public:
  explicit RereadingFile(std::string path) : path_(std::move(path)) {}
  const std::string& path() const override { return path_; }
  const nb::Profile& keys() const override {
    bool exists = false;
    keys_ = nb::Profile::Load(path_, &exists);
    if (!exists) throw std::runtime_error("cannot read " + path_);
    return keys_;
  }

 private:
  std::string path_;
  mutable nb::Profile keys_;
};

struct Desk {
  std::string root;
  valtrix::Folders folders;
  std::string snapshot;  // the generated tables, restored before every run
  std::vector<std::pair<std::string, std::string>> files;  // name, text

  Desk() {
    char tmpl[] = "/tmp/nbbench.XXXXXX";
    root = mkdtemp(tmpl);
    setenv("NB_PREFIX", root.c_str(), 1);
    setenv("NB_UI", "headless", 1);
    folders = valtrix::MakeFolders(root + "/Valtrix");
    for (const std::string& f : {folders.system, folders.inbox, folders.outbox}) {
      fs::create_directories(f);
    }
    valtrix::SetAppFolders(folders);
    aprtables::Options o;
    o.count = kFiles;
    o.forms = {"URAR", "COND", "704"};
    std::string error = aprtables::WriteTables(folders.system, o, NB_BIN_DIR "/dbfstore.so");
    if (!error.empty()) throw std::runtime_error(error);
    // The files the import reads are what the export writes for these appraisals.
    for (int id = 1; id <= kFiles; ++id) valtrix::ExportAppraisal(static_cast<int16_t>(id));
    for (const auto& e : fs::directory_iterator(folders.inbox)) {
      std::ifstream in(e.path(), std::ios::binary);
      std::stringstream text;
      text << in.rdbuf();
      files.emplace_back(e.path().filename().string(), text.str());
    }
    if (files.size() != kFiles) throw std::runtime_error("the export wrote too few files");
    snapshot = root + "/snapshot";
    fs::copy(folders.system, snapshot);
  }
  ~Desk() { fs::remove_all(root); }

  // Fresh generated tables and the first n files in the Outbox.
  void Prepare(int n) {
    fs::remove_all(folders.system);
    fs::copy(snapshot, folders.system);
    fs::remove_all(folders.outbox);
    fs::create_directories(folders.outbox);
    for (int i = 0; i < n; ++i) {
      std::ofstream(folders.outbox + files[i].first, std::ios::binary) << files[i].second;
    }
  }
};

Desk& TheDesk() {
  static Desk desk;
  return desk;
}

double g_once_rate = 0, g_reread_rate = 0;

void BM_ImportAppraisals(benchmark::State& state) {
  Desk& desk = TheDesk();
  double seconds = 0;
  for (auto _ : state) {
    state.PauseTiming();
    desk.Prepare(kFiles);
    state.ResumeTiming();
    auto start = std::chrono::steady_clock::now();
    valtrix::ImportAppraisals();
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  g_once_rate = kFiles * state.iterations() / seconds;
  state.SetItemsProcessed(state.iterations() * kFiles);
  state.counters["files/s"] = g_once_rate;
}

void BM_RereadingEveryKey(benchmark::State& state) {
  Desk& desk = TheDesk();
  double seconds = 0;
  for (auto _ : state) {
    state.PauseTiming();
    desk.Prepare(kRereadFiles);
    state.ResumeTiming();
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kRereadFiles; ++i) {
      const std::string path = desk.folders.outbox + desk.files[i].first;
      valtrix::import::ImportAppraisalFile(RereadingFile(path));
      fs::remove(path);
    }
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  g_reread_rate = kRereadFiles * state.iterations() / seconds;
  state.SetItemsProcessed(state.iterations() * kRereadFiles);
  state.counters["files/s"] = g_reread_rate;
}

BENCHMARK(BM_ImportAppraisals)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_RereadingEveryKey)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  if (g_once_rate > 0 && g_reread_rate > 0) {
    std::printf(
        "import reading each file once: %.1f files/s; re-reading for every key: %.1f "
        "files/s; ratio %.1f\n",
        g_once_rate, g_reread_rate, g_once_rate / g_reread_rate);
  }
  benchmark::Shutdown();
  return 0;
}
