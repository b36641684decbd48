// Writes and reads 100,000 records of a 20-field table with one memo field, through the
// plug-in (dbfstore.so behind CNbddbPlugin) and through dbase::Table directly. Reports
// records/s (items_per_second), MB/s of table and memo file (bytes_per_second) and the
// peak resident set of each run (peak_rss_MB, reset before it starts). Then reads the
// same file through the plug-in (every value decoded, memos included) and through
// shapelib's C reader (every field as a string), alternating, and prints both medians and
// their ratio.
#include <benchmark/benchmark.h>
#include <shapefil.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_table.h"
#include "dbase/table.h"
#include "nbddb/plugin.h"

namespace {

using namespace nb::bench;

int64_t FilesBytes(const std::string& dbf) {
  std::string dbt = dbf.substr(0, dbf.size() - 4) + ".dbt";
  return int64_t(std::filesystem::file_size(dbf) + std::filesystem::file_size(dbt));
}

void Finish(benchmark::State& state, const std::string& path) {
  state.SetItemsProcessed(state.iterations() * kRecords);
  state.SetBytesProcessed(state.iterations() * FilesBytes(path));
  state.counters["peak_rss_MB"] = PeakRssMb();
}

void WriteThroughPlugin(const std::string& path) {
  CNbddbPlugin table(NB_BIN_DIR "/dbfstore.so");
  for (const FieldDesc& f : Schema()) table.AddField(f);
  if (!table.Create(path, false)) std::abort();
  for (int i = 0; i < kRecords; ++i) table.AddRecord(Row(i));
  table.Close();
}

void BM_PluginWrite(benchmark::State& state) {
  const std::string path = Folder() + "/PLUGIN.dbf";
  ResetPeak();
  for (auto _ : state) WriteThroughPlugin(path);
  Finish(state, path);
}

void ReadThroughPlugin(const std::string& path) {
  CNbddbPlugin table(NB_BIN_DIR "/dbfstore.so");
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

// Every value of every record, moving on until the last record, as the peer reads every
// field; GetRecordCount, which reads the whole table once more to count the live records,
// is left to the benchmarks above.
void ReadEveryValueThroughPlugin(const std::string& path) {
  CNbddbPlugin table(NB_BIN_DIR "/dbfstore.so");
  if (!table.Open(path, true)) std::abort();
  int64_t sum = 0;
  int n = 0;
  for (int status = table.MoveFirst(); status == NavStatus::Done; status = table.MoveNext()) {
    for (const FieldValue& v : table.GetRecord()) sum += v.length();
    ++n;
  }
  benchmark::DoNotOptimize(sum);
  if (n != kRecords) std::abort();
  table.Close();
}

// The peer: every field of every record as a string.
void ReadThroughShapelib(const std::string& path) {
  DBFHandle dbf = DBFOpen(path.c_str(), "rb");
  if (!dbf) std::abort();
  const int n = DBFGetRecordCount(dbf), fields = DBFGetFieldCount(dbf);
  int64_t sum = 0;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < fields; ++j) sum += DBFReadStringAttribute(dbf, i, j)[0];
  benchmark::DoNotOptimize(sum);
  if (n != kRecords) std::abort();
  DBFClose(dbf);
}

void BM_PluginRead(benchmark::State& state) {
  const std::string path = Folder() + "/PLUGINR.dbf";
  WriteThroughPlugin(path);
  ResetPeak();
  for (auto _ : state) ReadThroughPlugin(path);
  Finish(state, path);
}

void BM_ShapelibRead(benchmark::State& state) {
  const std::string path = Folder() + "/PLUGINR.dbf";
  ResetPeak();
  for (auto _ : state) ReadThroughShapelib(path);
  Finish(state, path);
}

// Both readers on one file, alternating so that load on the machine hits both alike.
void CompareWithShapelib() {
  const std::string path = Folder() + "/PLUGINR.dbf";
  if (!std::filesystem::exists(path)) WriteThroughPlugin(path);
  using Clock = std::chrono::steady_clock;
  auto seconds = [](auto read, const std::string& p) {
    Clock::time_point start = Clock::now();
    read(p);
    return std::chrono::duration<double>(Clock::now() - start).count();
  };
  std::vector<double> ours, peer;
  for (int round = 0; round < 9; ++round) {
    ours.push_back(seconds(ReadEveryValueThroughPlugin, path));
    peer.push_back(seconds(ReadThroughShapelib, path));
  }
  std::sort(ours.begin(), ours.end());
  std::sort(peer.begin(), peer.end());
  const double o = kRecords / ours[ours.size() / 2] / 1e6,
               p = kRecords / peer[peer.size() / 2] / 1e6;
  std::printf("\nreading 100,000 records of 20 fields, medians of 9 alternating runs:\n");
  std::printf("  dbfstore.so behind CNbddbPlugin (every value)  %6.2f M records/s\n", o);
  std::printf("  shapelib DBFReadStringAttribute (every field)  %6.2f M records/s\n", p);
  std::printf("  ratio dbfstore / shapelib                      %6.2f\n", o / p);
}

void WriteDirect(const std::string& path) {
  dbase::Table table;
  if (!table.Create(path, Schema())) std::abort();
  for (int i = 0; i < kRecords; ++i) table.AppendRecord(Row(i));
  table.Close();
}

void BM_DirectWrite(benchmark::State& state) {
  const std::string path = Folder() + "/DIRECT.dbf";
  ResetPeak();
  for (auto _ : state) WriteDirect(path);
  Finish(state, path);
}

void BM_DirectRead(benchmark::State& state) {
  const std::string path = Folder() + "/DIRECTR.dbf";
  WriteDirect(path);
  ResetPeak();
  for (auto _ : state) {
    dbase::Table table;
    if (!table.Open(path, false)) std::abort();
    std::vector<FieldValue> r;
    bool deleted;
    int64_t sum = 0;
    for (size_t i = 0; i < table.record_count(); ++i) {
      table.ReadRecord(i, &r, &deleted);
      sum += r[5].int32() + int64_t(r[19].length());
    }
    benchmark::DoNotOptimize(sum);
    table.Close();
  }
  Finish(state, path);
}

BENCHMARK(BM_PluginWrite)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_PluginRead)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ShapelibRead)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_DirectWrite)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_DirectRead)->Unit(benchmark::kMillisecond)->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
  Folder();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  CompareWithShapelib();
  std::filesystem::remove_all(Folder());
  return 0;
}
