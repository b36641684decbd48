// The local database-file writer made current as the conduit makes it, writing real files
// into a desktop folder and saying what it cannot do in real (headless) message boxes.
#include "local_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "pdbfile/bytes.h"
#include "pdbfile/pdbfile.h"
#include "platform/prefix.h"
#include "test_files.h"
#include "test_prefix.h"

namespace conduit {
namespace {

using nb::pdb::FourCC;
using nb::pdb::Get16;
using nb::pdb::Get32;

class LocalWriter : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_log_ = prefix_.path() + "/ui.log";
    setenv("NB_UI_LOG", ui_log_.c_str(), 1);
    ASSERT_TRUE(nb::MakeDirs(nb::MapPath("C:\\Apps")));
    UseLocalWriter("C:\\Apps\\");
  }
  void TearDown() override {
    UseHotSync();
    unsetenv("NB_UI_LOG");
  }

  static int32_t Create(const char* name, uint16_t flags, uint16_t version = 3) {
    SyncCreateInfo info{};
    std::strncpy(info.name, name, sizeof info.name - 1);
    info.creator = FourCC("ABCD");
    info.type = FourCC(flags & kDbResource ? "rsrc" : "FORM");
    info.flags = flags;
    info.version = version;
    int32_t r = Ops().SyncCreateDB(&info);
    if (r == 0) {
      EXPECT_EQ(info.handle, kLocalHandle);
    }
    return r;
  }
  static int32_t Write(std::vector<uint8_t> data, uint32_t res_type = 0, uint16_t res_id = 0) {
    SyncRecord rec{};
    rec.handle = kLocalHandle;
    rec.attributes = 0x40;
    rec.category = 3;
    rec.buffer = data.data();
    rec.size = uint32_t(data.size());
    rec.res_type = res_type;
    rec.res_id = res_id;
    return Ops().SyncWriteRec(&rec);
  }
  static int32_t WriteAppInfo(std::vector<uint8_t> data) {
    SyncBlock block{data.data(), uint32_t(data.size()), uint32_t(data.size())};
    return Ops().SyncWriteDBAppInfoBlock(kLocalHandle, &block);
  }
  static std::vector<uint8_t> Bytes(const std::string& windows_path) {
    std::string s = nb::testing::Slurp(nb::MapPath(windows_path));
    return {s.begin(), s.end()};
  }

  nb::testing::TempPrefix prefix_;
  std::string ui_log_;
};

TEST_F(LocalWriter, RecordDatabaseNumbersItsRecordsAndEndsTheListWithFFFF) {
  const uint32_t before = nb::pdb::LocalTimeNow();
  ASSERT_EQ(Create("EABCD0100$DEMO", kDbBackup), 0);
  ASSERT_EQ(WriteAppInfo({'N', 'B', 'A', 'P'}), 0);
  for (uint8_t i = 1; i <= 3; ++i) ASSERT_EQ(Write({i, i}), 0);
  ASSERT_EQ(Ops().SyncCloseDB(kLocalHandle), 0);

  const auto f = Bytes("C:\\Apps\\EABCD0100$DEMO.PDB");
  ASSERT_EQ(f.size(), 78u + 3 * 8 + 2 + 4 + 3 * 2);
  EXPECT_EQ(Get16(&f[32]), kDbBackup);
  EXPECT_EQ(Get16(&f[34]), 3);
  for (size_t at : {36, 40, 44}) {
    EXPECT_GE(Get32(&f[at]), before);
    EXPECT_LE(Get32(&f[at]), nb::pdb::LocalTimeNow());
  }
  EXPECT_EQ(Get32(&f[52]), 104u);  // application info just after the list and its two bytes
  EXPECT_EQ(Get16(&f[76]), 3);
  for (uint32_t i = 0; i < 3; ++i) {
    const uint8_t* entry = &f[78 + 8 * i];
    EXPECT_EQ(Get32(entry), 108 + 2 * i);
    EXPECT_EQ(entry[4], 0);                         // attributes and category are not kept
    EXPECT_EQ(Get32(entry + 4) & 0xFFFFFF, i + 1);  // unique IDs 1, 2, 3
  }
  EXPECT_EQ(Get16(&f[102]), 0xFFFF);
  std::string error;
  auto db = nb::pdb::Parse(f, &error);
  ASSERT_TRUE(db) << error;
  EXPECT_EQ(db->app_info, (std::vector<uint8_t>{'N', 'B', 'A', 'P'}));
  EXPECT_EQ(db->records[2].data, (std::vector<uint8_t>{3, 3}));
}

TEST_F(LocalWriter, ResourceDatabaseHasVersionOneTenByteEntriesAndNoAppInfo) {
  // An older file of that name is replaced whole.
  std::ofstream(nb::MapPath("C:\\Apps\\EABCD0100#DEMO.PRC")) << std::string(500, 'x');
  ASSERT_EQ(Create("EABCD0100#DEMO", kDbResource | kDbBackup, 7), 0);
  ASSERT_EQ(WriteAppInfo({1, 2, 3}), 0);
  ASSERT_EQ(Write({'m', 'b'}, FourCC("MBAR"), 1000), 0);
  ASSERT_EQ(Write({'b', 'm', 'p'}, FourCC("Tbmp"), 2001), 0);
  ASSERT_EQ(Ops().SyncCloseDB(kLocalHandle), 0);

  const auto f = Bytes("C:\\Apps\\EABCD0100#DEMO.PRC");
  ASSERT_EQ(f.size(), 78u + 2 * 10 + 2 + 2 + 3);
  EXPECT_EQ(Get16(&f[32]), kDbResource | kDbBackup);
  EXPECT_EQ(Get16(&f[34]), 1);
  EXPECT_EQ(Get32(&f[52]), 0u);
  EXPECT_EQ(Get32(&f[78]), FourCC("MBAR"));
  EXPECT_EQ(Get16(&f[82]), 1000);
  EXPECT_EQ(Get32(&f[84]), 100u);
  EXPECT_EQ(Get32(&f[88]), FourCC("Tbmp"));
  EXPECT_EQ(Get16(&f[92]), 2001);
  EXPECT_EQ(Get32(&f[94]), 102u);
  EXPECT_EQ(Get16(&f[98]), 0);
}

TEST_F(LocalWriter, FailuresAreSaidAndNothingLeavesTheFolder) {
  uint16_t count = 0;
  EXPECT_EQ(Ops().SyncGetDBRecordCount(kLocalHandle, &count), kLocalErrNotImplemented);
  EXPECT_NE(nb::testing::Slurp(ui_log_).find(
                "{\"caption\": \"PDB FILE\", \"text\": \"PDB FILE: GetDBRecordCount - function "
                "not implemented\""),
            std::string::npos)
      << nb::testing::Slurp(ui_log_);
  uint8_t handle = 0;
  EXPECT_EQ(Ops().SyncOpenDB("EABCD0100$DEMO", 0, &handle, kSyncModeRead), kLocalErrOpen);
  EXPECT_EQ(Ops().SyncDeleteDB("EABCD0100$DEMO", 0), kLocalErrOpen);
  EXPECT_EQ(Ops().SyncResetSyncFlags(kLocalHandle), 0);
  SyncDbInfo info{};
  EXPECT_EQ(ReadOpenDbInfo()(kLocalHandle, &info), 0);

  // A name that would lead out of the folder is refused and said so; so is a second database.
  for (const char* name : {"..\\..\\Outside", "/tmp/Outside", "C:Outside", "..", "a\x01b"})
    EXPECT_NE(Create(name, 0), 0) << name;
  EXPECT_NE(nb::testing::Slurp(ui_log_).find("names no file"), std::string::npos);
  ASSERT_EQ(Create("First", 0), 0);
  EXPECT_NE(Create("Second", 0), 0);
  EXPECT_EQ(Write(std::vector<uint8_t>(0x10000)), kLocalErrNoMemory);
  EXPECT_EQ(Ops().SyncWriteRec(nullptr), kSyncErrBadArgument);

  // A folder that is not there: the close fails and says so.
  UseLocalWriter("C:\\Missing\\");
  ASSERT_EQ(Create("Lost", 0), 0);
  EXPECT_EQ(Ops().SyncCloseDB(kLocalHandle), kLocalErrWrite);
  EXPECT_NE(nb::testing::Slurp(ui_log_).find("PDB FILE: CloseDB - cannot write C:\\\\Missing"),
            std::string::npos);
  EXPECT_EQ(Ops().SyncCloseDB(kLocalHandle), kSyncErrBadHandle);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(nb::MapPath("C:\\Apps")), {}), 0);

  // Back to HotSync's log: no further boxes.
  UseHotSync();
  const std::string boxes = nb::testing::Slurp(ui_log_);
  Log("to HotSync's log", -1, false);
  EXPECT_EQ(nb::testing::Slurp(ui_log_), boxes);
}

}  // namespace
}  // namespace conduit
