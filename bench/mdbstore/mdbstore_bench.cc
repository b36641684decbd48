// Writes and reads 100,000 records of a 20-field table (the table of dbase_bench) through
// the plug-in interface, with mdbstore.so and with dbfstore.so in the same run. Reports
// records/s (items_per_second) and the peak resident set of each run (peak_rss_MB, reset
// before it starts), then the ratio of each mdbstore figure to dbfstore's.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "bench_table.h"
#include "nbddb/plugin.h"

namespace {

using namespace nb::bench;

std::string Library(const std::string& store) { return NB_BIN_DIR "/" + store + ".so"; }
std::string TablePath(const std::string& store, const char* name) {
  return Folder() + "/" + name + (store == "mdbstore" ? ".mdb" : ".dbf");
}

void Write(const std::string& store, const std::string& path) {
  CNbddbPlugin table(Library(store));
  for (const FieldDesc& f : Schema()) table.AddField(f);
  if (!table.Create(path, false)) std::abort();
  for (int i = 0; i < kRecords; ++i)
    if (!table.AddRecord(Row(i))) std::abort();
  table.Close();
}

// Into the table that the previous iteration wrote, as an upload does.
void BM_Write(benchmark::State& state, const std::string& store) {
  const std::string path = TablePath(store, "WRITE");
  ResetPeak();
  for (auto _ : state) Write(store, path);
  state.SetItemsProcessed(state.iterations() * kRecords);
  state.counters["peak_rss_MB"] = PeakRssMb();
}

void BM_Read(benchmark::State& state, const std::string& store) {
  const std::string path = TablePath(store, "READ");
  Write(store, path);
  ResetPeak();
  for (auto _ : state) {
    CNbddbPlugin table(Library(store));
    if (!table.Open(path, true)) std::abort();
    const int n = table.GetRecordCount();
    int64_t sum = 0;
    for (int i = 0; i < n; ++i) {
      i == 0 ? table.MoveFirst() : table.MoveNext();
      const std::vector<FieldValue>& r = table.GetRecord();
      sum += r[5].int32() + int64_t(r[19].length());
    }
    benchmark::DoNotOptimize(sum);
    if (n != kRecords) std::abort();
    table.Close();
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
  state.counters["peak_rss_MB"] = PeakRssMb();
}

// The console output, and each run's records/s and peak memory kept for the ratios.
class Reporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      const std::string name = r.benchmark_name();
      const std::string key = name.substr(0, name.find("/min_time"));
      rate[key] = r.counters.at("items_per_second");
      peak[key] = r.counters.at("peak_rss_MB");
    }
  }
  std::map<std::string, double> rate, peak;
};

}  // namespace

int main(int argc, char** argv) {
  Folder();
  for (const char* store : {"dbfstore", "mdbstore"}) {
    benchmark::RegisterBenchmark((std::string("Write/") + store).c_str(), BM_Write, store)
        ->Unit(benchmark::kMillisecond)
        ->MinTime(1.0);
    benchmark::RegisterBenchmark((std::string("Read/") + store).c_str(), BM_Read, store)
        ->Unit(benchmark::kMillisecond)
        ->MinTime(1.0);
  }
  benchmark::Initialize(&argc, argv);
  Reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  for (const char* op : {"Write", "Read"}) {
    const std::string dbf = std::string(op) + "/dbfstore", mdb = std::string(op) + "/mdbstore";
    if (!reporter.rate.count(dbf) || !reporter.rate.count(mdb)) continue;
    std::printf(
        "%-5s mdbstore %.0f records/s, %.1f MB peak; dbfstore %.0f records/s, %.1f MB "
        "peak; mdbstore takes %.2fx the time of dbfstore\n",
        op, reporter.rate[mdb], reporter.peak[mdb], reporter.rate[dbf], reporter.peak[dbf],
        reporter.rate[dbf] / reporter.rate[mdb]);
  }
  std::filesystem::remove_all(Folder());
  return 0;
}
