// Records per second through pdbdevice.so and dbfstore.so: a 20,000-record table of mixed
// fields written into a handheld file, and the handheld file turned into a new table.
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cstdio>
#include <memory>
#include <string>

#include "nbddb/plugin.h"
#include "pdbdevice/nddi.h"
#include "platform/registry.h"
#include "test_prefix.h"

namespace {

constexpr int kRecords = 20000;
const char kStore[] = NB_BIN_DIR "/dbfstore.so";

FieldDesc Field(const char* name, uint8_t type, uint16_t width, uint8_t decimals = 0) {
  FieldDesc f;
  f.SetName(name);
  f.type = type;
  f.width = width;
  f.decimals = decimals;
  return f;
}

struct Desktop {
  nb::testing::TempPrefix prefix;
  void* library = nullptr;
  CNddi* device = nullptr;
  NDDI_DeleteFn destroy = nullptr;
  std::string table, pdb, back;

  Desktop() {
    table = prefix.path() + "/APRINFO.dbf";
    pdb = prefix.path() + "/aprinfo.pdb";
    back = prefix.path() + "/BACK.dbf";
    nb::reg::SetString(nb::reg::Hive::kLocalMachine,
                       "SOFTWARE\\Corvane\\Nimbra Enterprise\\CurrentVersion", "Keyname", "3.0");
    nb::reg::SetString(nb::reg::Hive::kLocalMachine, "SOFTWARE\\Corvane\\Nimbra Enterprise\\3.0",
                       "Path", "C:\\Program Files\\Nimbra\\");
    CNbddbPlugin store(kStore);
    for (const FieldDesc& f :
         {Field("APRID", FieldType::Number, 6), Field("ADDRESS", FieldType::Text, 60),
          Field("VALUE", FieldType::Number, 12, 2), Field("BIG", FieldType::Number, 15),
          Field("DONE", FieldType::Logical, 1), Field("SEEN", FieldType::Date, 8),
          Field("AT", FieldType::Time, 8), Field("NOTES", FieldType::Text, 500),
          Field("SKETCH", FieldType::Binary, 10)}) {
      store.AddField(f);
    }
    store.Create(table, false);
    const std::string notes(300, 'n');
    const std::string sketch(64, 's');
    for (int i = 0; i < kRecords; ++i) {
      std::vector<FieldValue> r;
      r.push_back(FieldValue::Int32(i));
      r.push_back(FieldValue::Text("1200 Appraisal Road, unit " + std::to_string(i)));
      r.push_back(FieldValue::Double(125000.25 + i));
      r.push_back(FieldValue::Int64(int64_t(i) * 1000003));
      r.push_back(FieldValue::Logical(i % 2));
      r.push_back(FieldValue::Date(20240101 + i % 28));
      r.push_back(FieldValue::Time(120000 + i % 60));
      r.push_back(i % 4 ? FieldValue::Text(notes) : FieldValue::Null());
      r.push_back(FieldValue::Binary(sketch.data(), sketch.size()));
      store.AddRecord(r);
    }
    store.Close();

    library = dlopen(NB_BIN_DIR "/pdbdevice.so", RTLD_NOW | RTLD_LOCAL);
    if (!library) return;
    auto make = reinterpret_cast<NDDI_NewFn>(dlsym(library, "NDDI_New"));
    destroy = reinterpret_cast<NDDI_DeleteFn>(dlsym(library, "NDDI_Delete"));
    device = make ? make() : nullptr;
  }
  ~Desktop() {
    if (device) destroy(device);
    if (library) dlclose(library);
  }
};

Desktop& TheDesktop() {
  static Desktop desktop;
  return desktop;
}

void BM_DesktopToHandheld(benchmark::State& state) {
  Desktop& d = TheDesktop();
  if (!d.device) return state.SkipWithError("pdbdevice.so not loaded");
  for (auto _ : state) {
    if (!d.device->PutTableToPalmPilot("VXA1_AprInfo", d.table.c_str(), d.pdb.c_str(), 0x76584131,
                                       1, kStore, nullptr)) {
      return state.SkipWithError("PutTableToPalmPilot failed");
    }
  }
  state.counters["records/s"] =
      benchmark::Counter(kRecords, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_DesktopToHandheld)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

void BM_HandheldToDesktop(benchmark::State& state) {
  Desktop& d = TheDesktop();
  if (!d.device) return state.SkipWithError("pdbdevice.so not loaded");
  d.device->PutTableToPalmPilot("VXA1_AprInfo", d.table.c_str(), d.pdb.c_str(), 0x76584131, 1,
                                kStore, nullptr);
  for (auto _ : state) {
    std::remove(d.back.c_str());
    if (!d.device->GetTableFromPalmPilot("", d.pdb.c_str(), d.back.c_str(), kStore)) {
      return state.SkipWithError("GetTableFromPalmPilot failed");
    }
  }
  state.counters["records/s"] =
      benchmark::Counter(kRecords, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_HandheldToDesktop)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
