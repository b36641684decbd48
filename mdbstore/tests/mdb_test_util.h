// Shared helpers of the mdbstore tests: the plug-in behind its holder, whole tables, and
// the sqlite3 shell as an independent reader and writer of the files.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "store_test_util.h"
#include "test_files.h"

namespace mdbtest {

using Records = std::vector<std::vector<FieldValue>>;
using dbftest::Desk;
using dbftest::Field;

inline std::unique_ptr<CNbddbPlugin> Store() {
  return std::make_unique<CNbddbPlugin>(NB_BIN_DIR "/mdbstore.so");
}

inline bool WriteTable(const std::string& path, const std::vector<FieldDesc>& fields,
                       const Records& records, bool replace = false) {
  auto store = Store();
  for (const FieldDesc& f : fields) store->AddField(f);
  if (!store->Create(path, replace)) return false;
  for (const auto& r : records)
    if (!store->AddRecord(r)) return false;
  return store->Close();
}

inline Records ReadRecords(CNbddb& store) {
  Records out;
  for (int i = 0, n = store.GetRecordCount(); i < n; ++i) {
    EXPECT_EQ(i == 0 ? store.MoveFirst() : store.MoveNext(), NavStatus::Done);
    out.push_back(store.GetRecord());
  }
  return out;
}

// The sqlite3 shell's output for the file and its arguments.
inline std::string Sqlite(const std::string& path, const std::string& args) {
  std::string out;
  nb::testing::Shell("sqlite3 '" + path + "' " + args, &out);
  return out;
}

}  // namespace mdbtest
