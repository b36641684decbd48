// Tables between dBASE files and the virtual handheld in real synchronisations: the
// hotsync program runs the conduit, which loads pdbdevice and through it dbfstore.
#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "conduit_fixture.h"
#include "nbddb/exception.h"
#include "nbddb/plugin.h"
#include "platform/prefix.h"
#include "syncconduit/syncconduit.h"

namespace nb::testing {
namespace {

constexpr uint32_t kVXA1 = 0x76584131;  // 'vXA1'
using Records = std::vector<std::vector<FieldValue>>;

FieldDesc Field(const char* name, uint8_t type, uint16_t width, uint8_t decimals = 0) {
  FieldDesc f;
  f.SetName(name);
  f.type = type;
  f.width = width;
  f.decimals = decimals;
  return f;
}

std::vector<FieldDesc> AllTypes() {
  return {Field("NAME", FieldType::Text, 20),   Field("NOTES", FieldType::Text, 300),
          Field("COUNT", FieldType::Number, 9), Field("PRICE", FieldType::Number, 10, 2),
          Field("DONE", FieldType::Logical, 1), Field("DAY", FieldType::Date, 8),
          Field("AT", FieldType::Time, 8),      Field("STAMP", FieldType::TimeStamp, 19)};
}

Records Values(const char* name, const char* notes, int32_t count, double price, bool done,
               int32_t day, int32_t at, int64_t stamp) {
  std::vector<FieldValue> nulls(8, FieldValue::Null());
  nulls[0] = FieldValue::Text(std::string(name) + " (nulls)");
  return {{FieldValue::Text(name), FieldValue::Text(notes), FieldValue::Int32(count),
           FieldValue::Double(price), FieldValue::Logical(done), FieldValue::Date(day),
           FieldValue::Time(at), FieldValue::TimeStamp(stamp)},
          nulls};
}

class ConduitTable : public ConduitTest {
 protected:
  // A dBASE table at a Windows path of the desktop; returns the mapped path.
  static std::string MakeTable(const std::string& windows_path, const Records& records,
                               const std::vector<FieldDesc>& fields = AllTypes()) {
    const std::string path = nb::MapPath(windows_path);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    CNbddbPlugin store(NB_BIN_DIR "/dbfstore.so");
    for (const FieldDesc& f : fields) EXPECT_TRUE(store.AddField(f));
    EXPECT_TRUE(store.Create(path, true));
    for (const auto& r : records) EXPECT_TRUE(store.AddRecord(r));
    store.Close();
    return path;
  }

  static Records ReadTable(const std::string& path) {
    CNbddbPlugin store(NB_BIN_DIR "/dbfstore.so");
    Records out;
    if (!store.OpenForRead(path)) {
      ADD_FAILURE() << "cannot open " << path;
      return out;
    }
    for (int i = 0, n = store.GetRecordCount(); i < n; ++i) {
      i == 0 ? store.MoveFirst() : store.MoveNext();
      out.push_back(store.GetRecord());
    }
    store.Close();
    return out;
  }

  bool OnHandheld(const std::string& name) {
    return std::filesystem::exists(handheld_ + "/" + name + ".pdb");
  }
};

TEST_F(ConduitTable, DownloadThenUploadCarriesEveryFieldTypeBothWays) {
  const Records desk = Values("Smith", "line one\nline two", -1234567, 1234.5, true, 20240229,
                              152611, PackTimeStamp(2024, 2, 29, 15, 26, 11));
  const Records hand = Values("Jones", std::string(280, 'm').c_str(), 42, 0.25, false, 19991231,
                              235959, PackTimeStamp(1999, 12, 31, 23, 59, 59));
  const std::string table = MakeTable("C:\\Data\\Sites.dbf", desk);
  // The same database name from another folder stands for the record edited on the handheld.
  const std::string other = MakeTable("C:\\Other\\Sites.dbf", hand);
  const Records want = ReadTable(other);

  ASSERT_EQ(Queue(kCmdDownloadTableForCreator, "C:\\Data\\Sites.dbf", kVXA1), 1);
  EXPECT_EQ(Sync(), 0) << output_;
  ASSERT_TRUE(OnHandheld("EvXA10000_SITES")) << output_;
  EXPECT_TRUE(LogHas(-1, "  -- Table C:\\Data\\Sites.dbf downloaded to handheld."));
  std::string error;
  auto db = pdb::ReadFile(handheld_ + "/EvXA10000_SITES.pdb", &error);
  ASSERT_TRUE(db) << error;
  EXPECT_EQ(db->creator, kVXA1);
  EXPECT_EQ(db->records.size(), 2u);
  EXPECT_TRUE(std::filesystem::exists(nb::MapPath("C:\\Data\\EvXA10000_SITES.PDB")));

  ASSERT_EQ(Queue(kCmdDownloadTableForCreator, "C:\\Other\\Sites.dbf", kVXA1), 1);
  ASSERT_EQ(Queue(kCmdUploadTable, "C:\\Data\\Sites.dbf", kVXA1), 1);
  EXPECT_EQ(Sync(), 0) << output_;
  EXPECT_TRUE(LogHas(-1, "  -- Table C:\\Data\\Sites.dbf uploaded from handheld."));
  const Records got = ReadTable(table);
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) {
    ASSERT_EQ(got[i].size(), want[i].size());
    for (size_t j = 0; j < got[i].size(); ++j)
      // An empty memo may come back as null: both read as no text.
      if (j < 2)
        EXPECT_EQ(got[i][j].text_view(), want[i][j].text_view()) << "record " << i;
      else
        EXPECT_EQ(got[i][j], want[i][j]) << "record " << i << " field " << j;
  }
  EXPECT_EQ(got[0][1].length(), 280u);
}

TEST_F(ConduitTable, FailedUploadsLeaveTheDesktopTableAsItWas) {
  const std::string table = MakeTable(
      "C:\\Data\\Kept.dbf",
      Values("Keep", "me", 1, 2.5, true, 20200101, 101010, PackTimeStamp(2020, 1, 1, 10, 10, 10)));
  const std::string before = Slurp(table);
  const std::string pdb = nb::MapPath("C:\\Data\\EvXA10000_KEPT.PDB");

  // No such database on the handheld.
  ASSERT_EQ(Queue(kCmdUploadTable, "C:\\Data\\Kept.dbf", kVXA1), 1);
  EXPECT_NE(Sync(), 0) << output_;
  EXPECT_TRUE(LogHas(-1, "  -- Uploading of table C:\\Data\\Kept.dbf from handheld failed."));
  EXPECT_EQ(Slurp(table), before);
  EXPECT_FALSE(std::filesystem::exists(pdb));

  // A plug-in of interface version 1, refused on upload and on download.
  const std::string nddi = nb::MapPath("C:\\Program Files\\Nimbra\\Bin\\NDDI\\");
  ASSERT_TRUE(std::filesystem::is_directory(nddi)) << nddi;
  std::filesystem::copy_file(NB_BIN_DIR "/old_nddi.so", nddi + "old_nddi.so");
  ASSERT_EQ(Queue(kCmdDownloadTableForCreator, "C:\\Data\\Kept.dbf", kVXA1), 1);  // real one
  ASSERT_EQ(Queue(kCmdUploadTable, "C:\\Data\\Kept.dbf", kVXA1, "old_nddi.dll"), 1);
  ASSERT_EQ(Queue(kCmdDownloadTableForCreator, "C:\\Data\\Kept.dbf", kVXA1, "old_nddi"), 1);
  EXPECT_NE(Sync(), 0) << output_;
  EXPECT_TRUE(LogHas(17, "### Unable to load NDDI plugin [bad version]"));
  EXPECT_TRUE(LogHas(9, "### Unable to load NDDI plugin [bad version]"));
  EXPECT_TRUE(LogHas(-1, "  -- Uploading of table C:\\Data\\Kept.dbf from handheld failed."));
  EXPECT_TRUE(LogHas(-1, "  -- Downloading of table C:\\Data\\Kept.dbf to handheld failed."));
  EXPECT_EQ(Slurp(table), before);

  // A plug-in that is not there.
  ASSERT_EQ(Queue(kCmdUploadTable, "C:\\Data\\Kept.dbf", kVXA1, "absent.dll"), 1);
  EXPECT_NE(Sync(), 0) << output_;
  EXPECT_TRUE(
      LogHas(17, "Unable to find or open C:\\Program Files\\Nimbra\\Bin\\NDDI\\absent.dll"));
  EXPECT_EQ(Slurp(table), before);
}

// A full disk or a failing rename while the handheld database is written: the download
// fails, names its table, and the handheld keeps the database it had.
TEST_F(ConduitTable, DownloadThatCannotBeWrittenLeavesTheHandheldDatabaseAsItWas) {
  MakeTable("C:\\Data\\Sites.dbf",
            Values("Old", "o", 1, 1.5, true, 20200101, 101010, PackTimeStamp(2020, 1, 1, 1, 1, 1)));
  ASSERT_EQ(Queue(kCmdDownloadTableForCreator, "C:\\Data\\Sites.dbf", kVXA1), 1);
  ASSERT_EQ(Sync(), 0) << output_;
  const std::string on_handheld = handheld_ + "/EvXA10000_SITES.pdb";
  const std::string before = Slurp(on_handheld);
  ASSERT_FALSE(before.empty());
  MakeTable("C:\\Data\\Sites.dbf",
            Values("New", "n", 2, 2.5, false, 20210202, 20202, PackTimeStamp(2021, 2, 2, 2, 2, 2)));
  for (const char* fault : {"write:1:ENOSPC", "rename:1:EIO"}) {
    ASSERT_EQ(Queue(kCmdDownloadTableForCreator, "C:\\Data\\Sites.dbf", kVXA1), 1);
    EXPECT_NE(Shell(std::string("NB_FAULT=") + fault +
                        ":handheld/EvXA10000_SITES " NB_BIN_DIR "/hotsync sync --handheld '" +
                        handheld_ + "'",
                    &output_),
              0)
        << fault << "\n"
        << output_;
    EXPECT_NE(output_.find("  -- Downloading of table C:\\Data\\Sites.dbf to handheld failed."),
              std::string::npos)
        << fault << "\n"
        << output_;
    EXPECT_EQ(Slurp(on_handheld), before) << fault;
  }
  EXPECT_TRUE(LogHas(-1, "  -- Downloading of table C:\\Data\\Sites.dbf to handheld failed."));
}

TEST_F(ConduitTable, PdbFileWriteTableWritesOnlyTheDatabaseFile) {
  MakeTable("C:\\Data\\Long Table Name For Sites.dbf",
            Values("A", "b", 3, 4.5, true, 20010203, 40506, PackTimeStamp(2001, 2, 3, 4, 5, 6)));
  // The file keeps the whole base name; the handheld name would be cut.
  const std::string pdb = nb::MapPath("C:\\Data\\EvXA10102_LONG_TABLE_NAME_FOR_SITES.PDB");

  // The queue takes no command 11, so the export is called in this process: no
  // synchronisation, no handheld.
  std::filesystem::remove_all(handheld_);
  void* lib = dlopen(NB_BIN_DIR "/syncconduit.so", RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  auto write = reinterpret_cast<decltype(&PdbFileWriteTable)>(dlsym(lib, "PdbFileWriteTable"));
  ASSERT_NE(write, nullptr);
  EXPECT_EQ(write("C:\\Data\\Long Table Name For Sites.dbf", kVXA1, "", 0, 1, 2), 1);
  // It ran as command 11: desktop programs see it in the current-command fields.
  EXPECT_EQ(NB_FN(*su_, NB_GetCmdType)(), uint32_t(kCmdPdbFileWriteTable));
  char current[261] = {};
  NB_FN(*su_, NB_GetCmdFilename)(current, sizeof current);
  EXPECT_STREQ(current, "C:\\Data\\Long Table Name For Sites.dbf");
  std::string error;
  auto db = pdb::ReadFile(pdb, &error);
  ASSERT_TRUE(db) << error;
  EXPECT_EQ(db->name, "EvXA10102_LONG_TABLE_NAME_FOR_S");
  EXPECT_EQ(db->records.size(), 2u);
  EXPECT_EQ(write("C:\\Data\\Missing.dbf", kVXA1, nullptr, 0, 1, 2), 0);
  EXPECT_FALSE(std::filesystem::exists(nb::MapPath("C:\\Data\\EvXA10102_MISSING.PDB")));
  dlclose(lib);
}

// Killed while it writes the first of two downloads a desktop program queued at its start:
// the second is dropped, the one another program queued since is carried out.
TEST_F(ConduitTable, KilledSynchronisationLosesOnlyItsOwnDownloads) {
  const Records rows =
      Values("Smith", "memo", 1, 2.5, true, 20240229, 152611, PackTimeStamp(2024, 2, 29, 1, 2, 3));
  for (const char* t : {"C:\\Data\\Stale1.dbf", "C:\\Data\\Stale2.dbf", "C:\\Data\\Sites.dbf"})
    MakeTable(t, rows);
  Listener program(this, {"--enqueue-on-start", "3", "C:\\Data\\Stale1.dbf", "--enqueue-on-start",
                          "3", "C:\\Data\\Stale2.dbf"});
  const pid_t sync = fork();
  if (sync == 0) {
    setenv("NB_FAULT", "rename:1:crash:STALE1", 1);
    execl(NB_BIN_DIR "/hotsync", "hotsync", "sync", "--handheld", handheld_.c_str(), nullptr);
    _exit(127);
  }
  ASSERT_GT(sync, 0);
  int status = 0;
  waitpid(sync, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(program.Lines(), (std::vector<std::string>{"1 0"}));

  ASSERT_EQ(Queue(kCmdDownloadTableForCreator, "C:\\Data\\Sites.dbf", kVXA1), 1);
  EXPECT_EQ(Sync(), 0) << output_;
  EXPECT_TRUE(LogHas(-1,
                     "Nimbra: the last synchronisation was interrupted; 1 table transfers it "
                     "left in the queue were not carried out."));
  EXPECT_TRUE(OnHandheld("EvXA10000_SITES")) << output_;
  EXPECT_FALSE(OnHandheld("EQMNB0000_STALE2")) << output_;
}

TEST_F(ConduitTable, HundredCommandsOverThirteenTablesInOneSynchronisation) {
  std::vector<std::string> files;
  for (int t = 1; t <= 13; ++t) {
    char file[64];
    std::snprintf(file, sizeof file, "C:\\Data\\T%02d.dbf", t);
    files.push_back(file);
    MakeTable(file, Values(file, "memo", t, t * 1.5, t % 2, 20240100 + t, 120000 + t,
                           PackTimeStamp(2024, 1, t, 12, 0, t)));
  }
  for (int i = 0; i < 100; ++i) {
    uint32_t type = i < 13 || i % 2 ? kCmdDownloadTableForCreator : kCmdUploadTable;
    ASSERT_EQ(Queue(type, files[size_t(i % 13)].c_str(), kVXA1), 1);
  }
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Sync(), 0) << output_;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("100 table commands over 13 tables: %.3f s in one synchronisation\n", seconds);
  for (int t = 1; t <= 13; ++t) {
    char name[32];
    std::snprintf(name, sizeof name, "EvXA10000_T%02d", t);
    EXPECT_TRUE(OnHandheld(name)) << name;
  }
  EXPECT_EQ(ReadTable(nb::MapPath(files[0])).size(), 2u);
  uint32_t type = 0;
  char name[261] = {};
  EXPECT_EQ(NB_FN(*su_, NB_GetNextCommand)(&type, name, sizeof name - 1), 0);
}

}  // namespace
}  // namespace nb::testing
