// Application conversion: 50 forms x 40 controls (every control type, bitmaps, action
// blocks, scripts) and 10 menu bars with edit menus. BM_ReadApplication times the reader
// alone; BM_PdbFileWriteDocument the whole export from the .PDA file to the .PDB and .PRC
// files beside it, through syncconduit.so as a desktop program calls it.
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <fstream>
#include <string>
#include <vector>

#include "app_image.h"
#include "pda_model.h"
#include "platform/registry.h"
#include "test_prefix.h"

namespace {

const pdagen::SampleOptions kLarge{
    .version = 278, .forms = 50, .controls = 40, .menu_bars = 10, .tables = 13};

void BM_ReadApplication(benchmark::State& state) {
  const std::vector<uint8_t> bytes = pdagen::Write(pdagen::SampleApp(kLarge));
  const conduit::app::Names names{"EABCD0100#DEMO", 0x41424344, 1, 0};
  for (auto _ : state) {
    conduit::app::Image image = conduit::app::ReadApplication(bytes, names);
    benchmark::DoNotOptimize(image.forms.data());
    if (image.forms.size() != 50) state.SkipWithError("forms missing");
  }
  state.SetBytesProcessed(int64_t(state.iterations() * bytes.size()));
}
BENCHMARK(BM_ReadApplication)->Unit(benchmark::kMillisecond);

using WriteDocumentFn = int (*)(const char*, uint32_t, uint32_t, uint32_t, uint32_t);

void BM_PdbFileWriteDocument(benchmark::State& state) {
  nb::testing::TempPrefix prefix;
  // The conduit's utility library wants an installed runtime.
  nb::reg::SetString(nb::reg::Hive::kLocalMachine,
                     "SOFTWARE\\Corvane\\Nimbra Enterprise\\CurrentVersion", "Keyname", "3.0");
  nb::reg::SetString(nb::reg::Hive::kLocalMachine, "SOFTWARE\\Corvane\\Nimbra Enterprise\\3.0",
                     "Path", "C:\\Program Files\\Nimbra\\");
  void* conduit = dlopen(NB_BIN_DIR "/syncconduit.so", RTLD_NOW | RTLD_LOCAL);
  auto write =
      conduit ? reinterpret_cast<WriteDocumentFn>(dlsym(conduit, "PdbFileWriteDocument")) : nullptr;
  if (!write) {
    state.SkipWithError("syncconduit.so has no PdbFileWriteDocument");
    for (auto _ : state) {
    }
    if (conduit) dlclose(conduit);
    return;
  }
  const std::string file = prefix.path() + "/Demo.pda";
  const std::vector<uint8_t> bytes = pdagen::Write(pdagen::SampleApp(kLarge));
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  for (auto _ : state)
    if (write(file.c_str(), 0x41424344, 0, 1, 0) != 1) state.SkipWithError("write failed");
  dlclose(conduit);
}
BENCHMARK(BM_PdbFileWriteDocument)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
