// One press of the HotSync button with valtrix running, on a desktop set up the way a
// user's is: the conduit registered for the runtime and for the appraisal application, a
// virtual handheld holding the application's tables, appraisal data files and common
// responses waiting in the Outbox. Everything runs for real: the hotsync program, the
// conduit, the table plug-ins and valtrix as its own process.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "dao/dao.h"
#include "pdbfile/bytes.h"
#include "pdbfile/pdbfile.h"
#include "platform/bus.h"
#include "syncutil_loader.h"
#include "test_files.h"
#include "test_prefix.h"
#include "valtrix_process.h"

namespace {

namespace fs = std::filesystem;
namespace pdb = nb::pdb;
using nb::testing::SyncUtil;
using nb::testing::TempPrefix;
using valtrix::testing::ValtrixProcess;

constexpr uint32_t kVXA1 = 0x76584131;
constexpr uint32_t kQMNB = 0x514D4E42;

using nb::testing::Shell;
using nb::testing::Slurp;
const char* const kTables[] = {"AprSubj", "AprHood", "AprSite", "AprRmCt", "AprDsc1",
                               "AprDsc2", "AprDsc3", "AprVC",   "AprInfo", "Apk01",
                               "Apk02",   "Apk03",   "ApkLg"};

class WholeSyncTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* program : {"/hotsync", "/aprgen", "/pdbdevice.so", "/valtrix"})
      if (!fs::exists(std::string(NB_BIN_DIR) + program))
        GTEST_SKIP() << program << " is not built";
    ASSERT_EQ(Run("hotsync init"), 0) << out_;
    ASSERT_EQ(Run("hotsync conduits add QMNB"), 0) << out_;
    ASSERT_EQ(Run("hotsync conduits add vXA1"), 0) << out_;
    su_.emplace();  // after init: the library reads the desktop's settings when it loads

    fs::create_directories(handheld_);
    std::ofstream(handheld_ + "/handheld.ini") << "[Handheld]\r\nUserName=Pat Appraiser\r\n"
                                                  "UserID=4242\r\n";
    pdb::Database dir;
    dir.name = "NB-EE_SysHeap";
    dir.type = pdb::FourCC("DATA");
    dir.creator = kQMNB;
    dir.app_info = {'N', 'B', 'D', 'R', 0x02, 0x10, 0, 0, 0x10, 0x92};
    dir.app_info.resize(26);
    ASSERT_TRUE(pdb::WriteFile(handheld_ + "/NB-EE_SysHeap.pdb", dir));

    // The application's tables reach the handheld the way the runtime puts them there:
    // queued downloads, carried out by one synchronisation.
    std::string stage = prefix_.path() + "/stage";
    ASSERT_EQ(Run("aprgen -n 4 --marked " + marked_ + " --delsync '" + stage + "'"), 0) << out_;
    for (const char* table : kTables) {
      std::string file = stage + "/" + table + ".dbf";
      ASSERT_EQ(
          NB_FN(*su_, NB_AddToCommandQueueEx)(8, file.c_str(), kVXA1, "pdbdevice.dll", 0, 0, 0), 1);
    }
    ASSERT_EQ(Run("hotsync sync --handheld '" + handheld_ + "'"), 0) << out_;
    ASSERT_TRUE(fs::exists(handheld_ + "/EvXA10000_APRSUBJ.pdb")) << out_;
    fs::create_directories(app_ + "/System");
    fs::copy_file(stage + "/TAGTABLE.dbf", app_ + "/System/TAGTABLE.dbf");
  }

  int Run(const std::string& command) { return Shell(NB_BIN_DIR "/" + command, &out_); }

  int Sync() { return Run("hotsync sync --handheld '" + handheld_ + "'"); }

  // Rows of AprSubj on the desktop with this FileNumber.
  int Appraisals(const char* file_number) {
    dao::Database db = dao::Database::Open(app_ + "/System/");
    dao::Recordset rows = db.Where("AprSubj", "FileNumber", dao::Value::Text(file_number));
    if (rows.IsEOF()) return 0;
    int n = 0;
    for (rows.MoveFirst(); !rows.IsEOF(); rows.MoveNext()) ++n;
    return n;
  }

  size_t HandheldRecords(const char* table) {
    std::string error;
    std::string path = handheld_ + "/EvXA10000_" + table + ".pdb";
    std::optional<pdb::Database> db = pdb::ReadFile(path, &error);
    EXPECT_TRUE(db) << path << ": " << error;
    return db ? db->records.size() : 0;
  }

  std::string marked_ = "1,3";
  TempPrefix prefix_;
  std::string handheld_ = prefix_.path() + "/handheld";
  std::string app_ = prefix_.path() + "/Valtrix";
  std::string out_;
  std::optional<SyncUtil> su_;
};

TEST_F(WholeSyncTest, OnePressRunsTheWholeChainOfStages) {
  fs::create_directories(app_ + "/Outbox");
  std::ofstream(app_ + "/Outbox/job12.vxa")
      << "[Header]\r\nMajorForm=1004\r\n[AppraisalData]\r\nFORM_FILE_NUMBER.1=JOB12\r\n"
         "SUBJ_PROPERTY_ADDRESS.1=12 Elm Street\r\n";
  std::ofstream(app_ + "/Outbox/commresp.dat") << "[ROOF]\r\nSlate\r\nCedar shake=\r\n";
  const size_t subjects_before = HandheldRecords("APRSUBJ");
  const size_t roofs_before = HandheldRecords("APK01");

  ValtrixProcess valtrix(app_);
  ASSERT_TRUE(valtrix.WaitForWindow());
  ASSERT_EQ(Run("hotsync sync --handheld '" + handheld_ + "'"), 0) << out_;

  EXPECT_TRUE(valtrix.WaitForLine("stage A>B: 12 tables requested")) << valtrix.Output();
  EXPECT_TRUE(valtrix.WaitForLine("stage C>B: import done")) << valtrix.Output();
  EXPECT_TRUE(valtrix.WaitForLine("stage B>A: 13 tables requested")) << valtrix.Output();
  EXPECT_TRUE(valtrix.WaitForLine("stage End")) << valtrix.Output();
  EXPECT_FALSE(fs::exists(app_ + "/errorlog.txt")) << valtrix.Output();

  // Two marked appraisals exported; with DELSYNC they left the tables, and the imported
  // one joined them, all in the same synchronisation.
  size_t exported = 0;
  for (const auto& entry : fs::directory_iterator(app_ + "/Inbox"))
    exported += entry.path().extension() == ".vxa";
  EXPECT_EQ(exported, 2u);
  EXPECT_FALSE(fs::exists(app_ + "/Outbox/job12.vxa"));
  EXPECT_FALSE(fs::exists(app_ + "/Outbox/commresp.dat"));
  EXPECT_EQ(HandheldRecords("APRSUBJ"), subjects_before - 2 + 1);

  dao::Database db = dao::Database::Open(app_ + "/System/");
  dao::Recordset imported = db.Where("AprSubj", "FileNumber", dao::Value::Text("JOB12"));
  ASSERT_FALSE(imported.IsEOF());
  imported.MoveFirst();
  EXPECT_EQ(imported.Get("AprID").ToInt(), 5);
  dao::Recordset roofs = db.Where("Apk01", "Type", dao::Value::Text("ROOF"));
  std::vector<std::string> descs;
  for (roofs.MoveFirst(); !roofs.IsEOF(); roofs.MoveNext())
    descs.push_back(roofs.Get("Desc").text());
  EXPECT_EQ(descs, (std::vector<std::string>{"(Edit list...)", "Slate", "Cedar shake"}));
  EXPECT_LT(HandheldRecords("APK01"), roofs_before);
}

TEST_F(WholeSyncTest, WithoutCommonResponsesThePickTablesStayOnTheHandheld) {
  ValtrixProcess valtrix(app_);
  ASSERT_TRUE(valtrix.WaitForWindow());
  auto before = fs::last_write_time(handheld_ + "/EvXA10000_APK01.pdb");
  ASSERT_EQ(Run("hotsync sync --handheld '" + handheld_ + "'"), 0) << out_;
  EXPECT_TRUE(valtrix.WaitForLine("stage A>B: 8 tables requested")) << valtrix.Output();
  EXPECT_TRUE(valtrix.WaitForLine("stage B>A: 9 tables requested")) << valtrix.Output();
  EXPECT_FALSE(fs::exists(app_ + "/System/Apk01.dbf"));
  EXPECT_EQ(fs::last_write_time(handheld_ + "/EvXA10000_APK01.pdb"), before);
  std::string log;
  Shell(NB_BIN_DIR "/hotsync log --raw", &log);
  EXPECT_EQ(log.find("\t21\t"), std::string::npos) << log;
}

// job1.vxa imports, job2.vxa gives a number field a word. job1's appraisal reaches the
// handheld with that synchronisation, and the next one does not bring it a second time.
TEST_F(WholeSyncTest, AFailedImportLosesNoAppraisalAndDoublesNone) {
  fs::create_directories(app_ + "/Outbox");
  std::ofstream(app_ + "/Outbox/job1.vxa") << "[AppraisalData]\r\nFORM_FILE_NUMBER.1=GOOD\r\n";
  std::ofstream(app_ + "/Outbox/job2.vxa")
      << "[AppraisalData]\r\nFORM_FILE_NUMBER.1=BAD\r\nROOM_BEDROOMS.2=three\r\n";
  ValtrixProcess valtrix(app_);
  ASSERT_TRUE(valtrix.WaitForWindow());
  Sync();
  EXPECT_TRUE(valtrix.WaitForLine("stage B>A: 9 tables requested")) << valtrix.Output();
  EXPECT_TRUE(valtrix.WaitForLine("stage End")) << valtrix.Output();
  EXPECT_NE(Slurp(app_ + "/errorlog.txt").find("job2.vxa"), std::string::npos);
  EXPECT_TRUE(fs::exists(app_ + "/Outbox/job2.vxa"));
  fs::remove(app_ + "/Outbox/job2.vxa");
  Sync();
  // The desktop's tables are now the handheld's.
  EXPECT_TRUE(valtrix.WaitForLine("stage End")) << valtrix.Output();
  EXPECT_EQ(Appraisals("GOOD"), 1);
  EXPECT_EQ(Appraisals("BAD"), 0);
}

// A damaged handheld table: its upload fails, and the desktop's older tables are neither
// exported nor sent back over the handheld's.
TEST_F(WholeSyncTest, AFailedUploadStopsBeforeAnythingIsExportedOrSentDown) {
  std::ofstream(handheld_ + "/EvXA10000_APRHOOD.pdb", std::ios::trunc) << "damaged";
  const auto before = fs::last_write_time(handheld_ + "/EvXA10000_APRSUBJ.pdb");
  ValtrixProcess valtrix(app_);
  ASSERT_TRUE(valtrix.WaitForWindow());
  Sync();
  EXPECT_TRUE(valtrix.WaitForLine("stage End")) << valtrix.Output();
  EXPECT_EQ(valtrix.Output().find("stage B>C"), std::string::npos) << valtrix.Output();
  EXPECT_EQ(fs::last_write_time(handheld_ + "/EvXA10000_APRSUBJ.pdb"), before);
  EXPECT_TRUE(fs::is_empty(app_ + "/Inbox"));
  std::string log = Slurp(app_ + "/errorlog.txt");
  EXPECT_NE(log.find("stage A>B: upload of table AprHood from the handheld failed"),
            std::string::npos)
      << log;
}

// Another desktop program queues a command of its own at every SyncStarted: its
// CommandDone must not count as one of valtrix's tables.
TEST_F(WholeSyncTest, OtherProgramsCommandsDoNotCountAsValtrixs) {
  const std::string seen = prefix_.path() + "/other.txt";
  pid_t other = fork();
  if (other == 0) {
    execl(NB_BIN_DIR "/other_program", "other_program", seen.c_str(), "other-command",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  bool listening = false;
  for (int i = 0; i < 500 && !listening; ++i, usleep(10000))
    for (const auto& w : nb::bus::Windows()) listening |= w.pid == other;
  ValtrixProcess valtrix(app_);
  ASSERT_TRUE(valtrix.WaitForWindow());
  Sync();
  EXPECT_TRUE(valtrix.WaitForLine("stage B>A: 9 tables requested")) << valtrix.Output();
  kill(other, SIGTERM);
  waitpid(other, nullptr, 0);
  ASSERT_TRUE(listening);
  EXPECT_NE(Slurp(seen).find("other-command"), std::string::npos);
  // Both marked appraisals exported from the tables that had all arrived.
  size_t exported = 0;
  for (const auto& entry : fs::directory_iterator(app_ + "/Inbox"))
    exported += entry.path().extension() == ".vxa";
  EXPECT_EQ(exported, 2u);
  EXPECT_FALSE(fs::exists(app_ + "/errorlog.txt")) << Slurp(app_ + "/errorlog.txt");
}

// With DELSYNC the export frees the highest AprID and the import takes it again. HotSync
// killed once AprSubj and AprHood are down leaves the handheld with the new appraisal's
// subject beside the exported one's site, rooms and the rest under one AprID: the next
// synchronisation must send the new appraisal's rows again, not keep the join.
class ReusedAprID : public WholeSyncTest {
 protected:
  ReusedAprID() { marked_ = "3,4"; }

  // The value of a field of the table's rows with this AprID, row by row.
  std::vector<std::string> Values(const char* table, int apr_id, const char* field) {
    dao::Database db = dao::Database::Open(app_ + "/System/");
    dao::Recordset rows = db.Where(table, "APRID", dao::Value::Number(apr_id));
    std::vector<std::string> values;
    if (!rows.IsEOF())
      for (rows.MoveFirst(); !rows.IsEOF(); rows.MoveNext())
        values.push_back(rows.Get(field).ToText());
    return values;
  }
};

TEST_F(ReusedAprID, AKillBetweenTwoDownloadsJoinsNoTwoAppraisals) {
  fs::create_directories(app_ + "/Outbox");
  std::ofstream(app_ + "/Outbox/new.vxa")
      << "[AppraisalData]\r\nFORM_FILE_NUMBER.1=NEW\r\nSITE_DIMENSIONS.1=60 x 120 new\r\n";
  ValtrixProcess valtrix(app_);
  ASSERT_TRUE(valtrix.WaitForWindow());
  setenv("NB_FAULT", "rename:1:crash:handheld/EvXA10000_APRSITE", 1);
  EXPECT_NE(Sync(), 0) << out_;
  unsetenv("NB_FAULT");
  EXPECT_EQ(Values("AprSubj", 3, "FileNumber"), std::vector<std::string>{"NEW"});
  ASSERT_EQ(Sync(), 0) << out_;
  ASSERT_TRUE(valtrix.WaitForLine("stage End")) << valtrix.Output();
  EXPECT_EQ(Values("AprSubj", 3, "FileNumber"), std::vector<std::string>{"NEW"});
  EXPECT_EQ(Values("AprSite", 3, "T_DIMENS"), std::vector<std::string>{"60 x 120 new"});
  for (const char* table : {"AprHood", "AprRmCt", "AprDsc1", "AprDsc2", "AprDsc3", "AprVC"})
    EXPECT_EQ(Values(table, 3, "APRID").size(), 1u) << table;
  EXPECT_TRUE(Values("AprSubj", 4, "APRID").empty());
  EXPECT_NE(Slurp(app_ + "/errorlog.txt").find("Recovered: the handheld still held appraisal 3"),
            std::string::npos)
      << Slurp(app_ + "/errorlog.txt");
}

}  // namespace
