// A table through the real programs in one synchronisation: a dBASE file goes to the
// handheld, comes back into a database file through mdbstore, goes to the handheld from
// there and comes back as a dBASE file with every value as it started.
#include "conduit_fixture.h"
#include "mdb_test_util.h"
#include "platform/prefix.h"

namespace nb::testing {
namespace {

using mdbtest::Field;
using mdbtest::Records;

constexpr uint32_t kVXA1 = 0x76584131;  // 'vXA1'
const uint8_t kBytes[] = {0x00, 0x1A, 0xFF, 0x0D, 0x0A, 0x20};

Records ReadDbf(const std::string& path) {
  CNbddbPlugin store(NB_BIN_DIR "/dbfstore.so");
  if (!store.OpenForRead(path)) return {};
  return mdbtest::ReadRecords(store);
}

void WriteDbf(const std::string& path, const std::vector<FieldDesc>& fields,
              const Records& records) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  CNbddbPlugin store(NB_BIN_DIR "/dbfstore.so");
  for (const FieldDesc& f : fields) store.AddField(f);
  ASSERT_TRUE(store.Create(path, false));
  for (const auto& r : records) ASSERT_TRUE(store.AddRecord(r));
  ASSERT_TRUE(store.Close());
}

using MdbstoreSync = ConduitTest;

TEST_F(MdbstoreSync, DbaseToHandheldToMdbToHandheldToDbase) {
  const std::vector<FieldDesc> fields = {
      Field("NAME", FieldType::Text, 20),       Field("NOTES", FieldType::Text, 300),
      Field("COUNT", FieldType::Number, 9),     Field("BIG", FieldType::Number, 12),
      Field("PRICE", FieldType::Number, 10, 2), Field("DONE", FieldType::Logical, 1),
      Field("DAY", FieldType::Date, 8),         Field("AT", FieldType::Time, 8),
      Field("STAMP", FieldType::TimeStamp, 19), Field("RAW", FieldType::Binary, 0)};
  std::vector<FieldValue> nulls(fields.size(), FieldValue::Null());
  nulls[0] = FieldValue::Text("nulls");
  const Records start = {
      {FieldValue::Text("Smith"), FieldValue::Text(std::string(280, 'm') + "\nend"),
       FieldValue::Int32(-1234567), FieldValue::Int64(-98765432101), FieldValue::Double(1234.5),
       FieldValue::Logical(true), FieldValue::Date(20240229), FieldValue::Time(134501),
       FieldValue::TimeStamp(PackTimeStamp(2024, 2, 29, 15, 26, 11)),
       FieldValue::Binary(kBytes, sizeof kBytes)},
      nulls};
  const std::string dbf = nb::MapPath("C:\\Data\\Sites.dbf");
  std::filesystem::create_directories(nb::MapPath("C:\\Back"));
  WriteDbf(dbf, fields, start);
  const Records want = ReadDbf(dbf);
  ASSERT_EQ(want.size(), 2u);

  ASSERT_EQ(Queue(kCmdDownloadTableForCreator, "C:\\Data\\Sites.dbf", kVXA1), 1);
  ASSERT_EQ(Queue(kCmdUploadTable, "C:\\Data\\Sites.mdb", kVXA1), 1);
  ASSERT_EQ(Queue(kCmdDownloadTableForCreator, "C:\\Data\\Sites.mdb", kVXA1), 1);
  ASSERT_EQ(Queue(kCmdUploadTable, "C:\\Back\\Sites.dbf", kVXA1), 1);
  EXPECT_EQ(Sync(), 0) << output_;
  EXPECT_TRUE(LogHas(-1, "  -- Table C:\\Data\\Sites.mdb uploaded from handheld."));
  EXPECT_TRUE(LogHas(-1, "  -- Table C:\\Data\\Sites.mdb downloaded to handheld."));

  const std::string mdb = nb::MapPath("C:\\Data\\Sites.mdb");
  EXPECT_EQ(
      mdbtest::Sqlite(mdb, "'SELECT NAME, BIG, AT, quote(NOTES) FROM NBTable'"),
      "Smith|-98765432101|1899-12-30 13:45:01|'" + std::string(280, 'm') + "\nend'\nnulls|||''\n");
  const Records got = ReadDbf(nb::MapPath("C:\\Back\\Sites.dbf"));
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) {
    ASSERT_EQ(got[i].size(), want[i].size());
    for (size_t j = 0; j < got[i].size(); ++j)
      // dBASE stores an empty memo as no memo, which reads back as null: both are no text.
      if (j == 1)
        EXPECT_EQ(got[i][j].text_view(), want[i][j].text_view()) << "record " << i;
      else
        EXPECT_EQ(got[i][j], want[i][j]) << "record " << i << " field " << fields[j].name;
  }
}

// A table that cannot be put in place on the desktop (its new file cannot be synced or
// moved there) fails its upload: the log says so, not that it was uploaded.
TEST_F(MdbstoreSync, UploadThatCannotBeWrittenFails) {
  WriteDbf(nb::MapPath("C:\\Data\\Sites.dbf"), {Field("NAME", FieldType::Text, 20)},
           {{FieldValue::Text("Smith")}, {FieldValue::Text("Jones")}});
  ASSERT_EQ(Queue(kCmdDownloadTableForCreator, "C:\\Data\\Sites.dbf", kVXA1), 1);
  ASSERT_EQ(Sync(), 0) << output_;
  for (const char* fault : {"fsync:1:ENOSPC:Sites.mdb", "rename:1:EIO:Sites.mdb"}) {
    ASSERT_EQ(Queue(kCmdUploadTable, "C:\\Data\\Sites.mdb", kVXA1), 1);
    Shell(std::string("NB_FAULT=") + fault + " " NB_BIN_DIR "/hotsync sync --handheld '" +
              handheld_ + "'",
          &output_);
    EXPECT_NE(output_.find("  -- Uploading of table C:\\Data\\Sites.mdb from handheld failed."),
              std::string::npos)
        << fault << "\n"
        << output_;
    EXPECT_EQ(output_.find("uploaded from handheld"), std::string::npos) << fault;
  }
  // Neither the table nor its temporary is left.
  for (const auto& e : std::filesystem::directory_iterator(nb::MapPath("C:\\Data")))
    EXPECT_NE(e.path().filename().string().rfind("Sites.mdb", 0), 0u) << e.path();
}

// SQLite's own writes go through the OS seam too: a full disk under an existing database
// fails the upload, and the database keeps its old content, readable.
TEST_F(MdbstoreSync, FullDiskUnderAnExistingDatabaseFailsTheUpload) {
  WriteDbf(nb::MapPath("C:\\Data\\Sites.dbf"), {Field("NAME", FieldType::Text, 20)},
           {{FieldValue::Text("Smith")}});
  ASSERT_EQ(Queue(kCmdDownloadTableForCreator, "C:\\Data\\Sites.dbf", kVXA1), 1);
  ASSERT_EQ(Queue(kCmdUploadTable, "C:\\Data\\Sites.mdb", kVXA1), 1);
  ASSERT_EQ(Sync(), 0) << output_;
  const std::string mdb = nb::MapPath("C:\\Data\\Sites.mdb");
  ASSERT_EQ(mdbtest::Sqlite(mdb, "'SELECT NAME FROM NBTable'"), "Smith\n");
  for (const char* fault : {"write:1:ENOSPC:.mdb", "write:2:EIO:.mdb", "write:4:ENOSPC:.mdb",
                            "write:9:ENOSPC:.mdb", "fsync:1:EIO:.mdb", "fsync:2:ENOSPC:.mdb"}) {
    ASSERT_EQ(Queue(kCmdUploadTable, "C:\\Data\\Sites.mdb", kVXA1), 1);
    Shell(std::string("NB_FAULT=") + fault + " " NB_BIN_DIR "/hotsync sync --handheld '" +
              handheld_ + "'",
          &output_);
    EXPECT_NE(output_.find("  -- Uploading of table C:\\Data\\Sites.mdb from handheld failed."),
              std::string::npos)
        << fault << "\n"
        << output_;
    EXPECT_EQ(mdbtest::Sqlite(mdb, "'PRAGMA integrity_check; SELECT NAME FROM NBTable'"),
              "ok\nSmith\n")
        << fault;
  }
}

}  // namespace
}  // namespace nb::testing
