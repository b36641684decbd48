// A desktop with the runtime installed (NBDither.so in its Bin folder), pdbdevice.so
// loaded as the conduit loads it, and desktop tables made and read through dbfstore.so.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdarg>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "nbddb/plugin.h"
#include "pdbdevice/nddi.h"
#include "platform/prefix.h"
#include "platform/registry.h"
#include "test_prefix.h"

namespace pdbdevice::testing {

inline std::vector<std::string>& LogLines() {
  static std::vector<std::string> lines;
  return lines;
}

inline void Log(const char* format, ...) {
  char text[4096];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  LogLines().push_back(text);
}

struct Table {
  std::vector<FieldDesc> fields;
  std::vector<std::vector<FieldValue>> records;
};

inline FieldDesc Field(const char* name, uint8_t type, uint16_t width, uint8_t decimals = 0) {
  FieldDesc f;
  f.SetName(name);
  f.type = type;
  f.width = width;
  f.decimals = decimals;
  return f;
}

inline const char kStore[] = NB_BIN_DIR "/dbfstore.so";

inline void WriteTable(const std::string& path, const Table& table) {
  CNbddbPlugin store(kStore);
  for (const FieldDesc& f : table.fields) store.AddField(f);
  ASSERT_TRUE(store.Create(path, false)) << path;
  for (const auto& r : table.records) ASSERT_TRUE(store.AddRecord(r));
  store.Close();
}

inline Table ReadTable(const std::string& path) {
  Table t;
  CNbddbPlugin store(kStore);
  EXPECT_TRUE(store.Open(path, true)) << path;
  const int n = store.GetRecordCount();
  t.fields = store.GetFields();
  for (int i = 0; i < n; ++i) {
    EXPECT_EQ(i == 0 ? store.MoveFirst() : store.MoveNext(), NavStatus::Done);
    t.records.push_back(store.GetRecord());
  }
  store.Close();
  return t;
}

inline std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), {});
}

inline void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

class PdbDevice : public ::testing::Test {
 protected:
  static constexpr const char* kRuntime = "C:\\Program Files\\Nimbra\\";

  void SetUp() override {
    LogLines().clear();
    nb::reg::SetString(nb::reg::Hive::kLocalMachine,
                       "SOFTWARE\\Corvane\\Nimbra Enterprise\\CurrentVersion", "Keyname", "3.0");
    nb::reg::SetString(nb::reg::Hive::kLocalMachine, "SOFTWARE\\Corvane\\Nimbra Enterprise\\3.0",
                       "Path", kRuntime);
    const std::string bin = nb::MapPath(std::string(kRuntime) + "Bin");
    nb::MakeDirs(bin);
    std::filesystem::copy_file(NB_BIN_DIR "/NBDither.so", bin + "/NBDither.so");
    ui_log_ = prefix_.path() + "/ui.log";
    setenv("NB_UI_LOG", ui_log_.c_str(), 1);

    lib_ = dlopen(NB_BIN_DIR "/pdbdevice.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_TRUE(lib_) << dlerror();
    auto make = reinterpret_cast<NDDI_NewFn>(dlsym(lib_, "NDDI_New"));
    delete_ = reinterpret_cast<NDDI_DeleteFn>(dlsym(lib_, "NDDI_Delete"));
    version_ = reinterpret_cast<NDDI_GetVersionFn>(dlsym(lib_, "NDDI_GetVersion"));
    ASSERT_TRUE(make && delete_ && version_);
    device_ = make();
    ASSERT_TRUE(device_);
  }

  void TearDown() override {
    if (device_) delete_(device_);
    if (lib_) dlclose(lib_);
    unsetenv("NB_UI_LOG");
  }

  std::string Path(const std::string& name) const { return prefix_.path() + "/" + name; }

  bool Put(const std::string& table, const std::string& pdb, uint32_t flags = 1,
           const char* name = "VXA1_AprInfo", NddiLogFn log = Log) {
    return device_->PutTableToPalmPilot(name, table.c_str(), pdb.c_str(), 0x76584131, flags, kStore,
                                        log);
  }
  bool Get(const std::string& pdb, const std::string& table) {
    return device_->GetTableFromPalmPilot("ignored", pdb.c_str(), table.c_str(), kStore);
  }

  // Every message box shown so far, as its JSON line.
  std::string Boxes() const {
    std::ifstream in(ui_log_);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }

  nb::testing::TempPrefix prefix_;
  std::string ui_log_;
  void* lib_ = nullptr;
  CNddi* device_ = nullptr;
  NDDI_DeleteFn delete_ = nullptr;
  NDDI_GetVersionFn version_ = nullptr;
};

}  // namespace pdbdevice::testing
