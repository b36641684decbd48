// Appraisals exported per second from 1,000 generated appraisals.
//
// BM_ExportAppraisal runs the export stage end to end (data access, file, SyncX) over all
// 1,000, in one ExportSession as the form runs it. The pair BM_FileInMemory /
// BM_FileKeyByKey isolates the file: the same open rows written by building the file in
// memory and saving it once, against writing every key by reading the whole file, changing
// the key and writing it back (what the Windows profile-string function does per call).
// The ratio of the pair is printed at the end.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "aprtables.h"
#include "export/export_appraisal.h"
#include "export/writers.h"
#include "export_reference.h"
#include "globals.h"

namespace {

constexpr int kAppraisals = 1000;

struct Desk {
  std::string root;
  valtrix::Folders folders;

  Desk() {
    char tmpl[] = "/tmp/nbbench.XXXXXX";
    root = mkdtemp(tmpl);
    setenv("NB_PREFIX", root.c_str(), 1);
    setenv("NB_UI", "headless", 1);
    folders = valtrix::MakeFolders(root + "/Valtrix");
    for (const std::string& f : {folders.system, folders.inbox, folders.outbox}) {
      std::filesystem::create_directories(f);
    }
    valtrix::SetAppFolders(folders);
    aprtables::Options o;
    o.count = kAppraisals;
    o.forms = {"URAR", "COND", "704"};
    std::string error = aprtables::WriteTables(folders.system, o, NB_BIN_DIR "/dbfstore.so");
    if (!error.empty()) throw std::runtime_error(error);
  }
  ~Desk() { std::filesystem::remove_all(root); }

  void ClearInbox() {
    std::filesystem::remove_all(folders.inbox);
    std::filesystem::create_directories(folders.inbox);
  }
};

Desk& TheDesk() {
  static Desk desk;
  return desk;
}

void BM_ExportAppraisal(benchmark::State& state) {
  Desk& desk = TheDesk();
  for (auto _ : state) {
    {
      dao::Database db = dao::Database::Open(desk.folders.system);
      valtrix::ExportSession session(db);
      for (int id = 1; id <= kAppraisals; ++id) session.Export(static_cast<int16_t>(id));
    }
    state.PauseTiming();
    desk.ClearInbox();
    state.ResumeTiming();
  }
  state.counters["appraisals/s"] = benchmark::Counter(
      static_cast<double>(kAppraisals), benchmark::Counter::kIsIterationInvariantRate);
}

// Open rows of three appraisals, one per form, shared by the file pair.
struct OpenAppraisals {
  dao::Database db = dao::Database::Open(TheDesk().folders.system);
  std::vector<std::vector<dao::Recordset>> rows;
  OpenAppraisals() {
    for (int id : {1, 2, 3}) rows.push_back(export_reference::OpenRows(db, id));
  }
};

OpenAppraisals& Open() {
  static OpenAppraisals open;
  return open;
}

std::string Form(const std::vector<dao::Recordset>& rows) {
  std::string form = rows[0].Get("MajorForm").ToText();
  return form == "URAR" ? "1004" : form;
}

template <typename WriteFile>
void FileBenchmark(benchmark::State& state, WriteFile write) {
  Desk& desk = TheDesk();
  OpenAppraisals& open = Open();
  int n = 0;
  for (auto _ : state) {
    for (const auto& rows : open.rows) {
      write(rows, desk.folders.inbox + std::to_string(++n) + ".vxa");
    }
    if (n >= 3000) {
      state.PauseTiming();
      desk.ClearInbox();
      state.ResumeTiming();
    }
  }
  state.counters["appraisals/s"] = benchmark::Counter(
      static_cast<double>(open.rows.size()), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_FileInMemory(benchmark::State& state) {
  FileBenchmark(state, [](const std::vector<dao::Recordset>& rows, const std::string& path) {
    if (!valtrix::BuildAppraisalFile(rows, Form(rows)).Save(path)) std::abort();
  });
}

void BM_FileKeyByKey(benchmark::State& state) {
  FileBenchmark(state, [](const std::vector<dao::Recordset>& rows, const std::string& path) {
    export_reference::WriteRows(rows, path);
  });
}

}  // namespace

BENCHMARK(BM_ExportAppraisal)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_FileInMemory)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_FileKeyByKey)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// The console report, then the ratio of the file pair.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      auto it = r.counters.find("appraisals/s");
      if (it == r.counters.end()) continue;
      const std::string& name = r.run_name.function_name;
      if (name == "BM_FileInMemory") in_memory_ = it->second.value;
      if (name == "BM_FileKeyByKey") key_by_key_ = it->second.value;
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    if (in_memory_ > 0 && key_by_key_ > 0) {
      std::printf("file in memory %.0f appraisals/s, key by key %.1f appraisals/s: %.0fx\n",
                  in_memory_, key_by_key_, in_memory_ / key_by_key_);
    }
  }

 private:
  double in_memory_ = 0, key_by_key_ = 0;
};

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
