// Writes and reads a 20,000-record database of 200-byte records on a virtual handheld
// through Sync20.so, as a conduit's table download and upload do. Reports records/s
// (items_per_second) and MB/s of record data (bytes_per_second).
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "hotsync/sync.h"

namespace {

constexpr int kRecords = 20000;
constexpr uint32_t kRecordSize = 200;

struct Sync {
  Sync() {
    char tmpl[] = "/tmp/hotsyncbench.XXXXXX";
    folder = mkdtemp(tmpl);
    setenv("NB_PREFIX", folder.c_str(), 1);
    setenv("NB_UI", "headless", 1);
    std::ofstream(folder + "/handheld.ini") << "[Handheld]\r\nUserName=Bench\r\nUserID=1\r\n";
    lib = dlopen(NB_BIN_DIR "/Sync20.so", RTLD_NOW | RTLD_LOCAL);
    auto get = [&](const char* n) { return dlsym(lib, n); };
    begin = reinterpret_cast<SyncBeginSessionFn>(get("SyncBeginSession"));
    end = reinterpret_cast<SyncEndSessionFn>(get("SyncEndSession"));
    create = reinterpret_cast<SyncCreateDBFn>(get("SyncCreateDB"));
    open = reinterpret_cast<SyncOpenDBFn>(get("SyncOpenDB"));
    close = reinterpret_cast<SyncCloseDBFn>(get("SyncCloseDB"));
    remove = reinterpret_cast<SyncDeleteDBFn>(get("SyncDeleteDB"));
    write = reinterpret_cast<SyncWriteRecFn>(get("SyncWriteRec"));
    read = reinterpret_cast<SyncReadRecordByIndexFn>(get("SyncReadRecordByIndex"));
    begin(folder.c_str());
  }
  ~Sync() {
    end();
    dlclose(lib);
    std::filesystem::remove_all(folder);
  }
  void WriteDatabase() {
    remove("Bench", 0);
    SyncCreateInfo info{};
    std::strcpy(info.name, "Bench");
    create(&info);
    std::vector<uint8_t> data(kRecordSize, 'x');
    for (int i = 0; i < kRecords; ++i) {
      SyncRecord rec{};
      rec.handle = info.handle;
      rec.buffer = data.data();
      rec.size = kRecordSize;
      write(&rec);
    }
    close(info.handle);
  }

  std::string folder;
  void* lib;
  SyncBeginSessionFn begin;
  SyncEndSessionFn end;
  SyncCreateDBFn create;
  SyncOpenDBFn open;
  SyncCloseDBFn close;
  SyncDeleteDBFn remove;
  SyncWriteRecFn write;
  SyncReadRecordByIndexFn read;
};

Sync& Handheld() {
  static Sync sync;
  return sync;
}

void BM_WriteDatabase(benchmark::State& state) {
  for (auto _ : state) Handheld().WriteDatabase();
  state.SetItemsProcessed(state.iterations() * kRecords);
  state.SetBytesProcessed(state.iterations() * kRecords * kRecordSize);
}
BENCHMARK(BM_WriteDatabase)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadDatabase(benchmark::State& state) {
  Sync& s = Handheld();
  s.WriteDatabase();
  std::vector<uint8_t> buffer(0xFC00);
  for (auto _ : state) {
    uint8_t h = 0;
    s.open("Bench", 0, &h, kSyncModeRead);
    for (int i = 0; i < kRecords; ++i) {
      SyncRecord rec{};
      rec.handle = h;
      rec.index = uint16_t(i);
      rec.buffer = buffer.data();
      rec.buffer_size = uint32_t(buffer.size());
      s.read(&rec);
    }
    s.close(h);
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
  state.SetBytesProcessed(state.iterations() * kRecords * kRecordSize);
}
BENCHMARK(BM_ReadDatabase)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
