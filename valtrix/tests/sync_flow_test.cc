// The program as a process: start-up, single instance, tray menu, and the stages of one
// synchronisation driven by real notifications over the bus, checked through the commands
// that reach the queue.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "dao/dao.h"
#include "hotsync/conduit_registry.h"
#include "platform/bus.h"
#include "platform/registry.h"
#include "syncutil_loader.h"
#include "test_files.h"
#include "test_prefix.h"
#include "valtrix_process.h"

namespace {

using nb::testing::SyncUtil;
using nb::testing::TempPrefix;
using valtrix::testing::ValtrixProcess;

constexpr uint32_t kVXA1 = 0x76584131;

using nb::testing::Slurp;
struct Command {
  uint32_t type;
  std::string file;
  uint32_t creator;
  std::string plugin;
  uint32_t p1, p2, p3;
};

class SyncFlowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("NB_UI_LOG", ui_log_.c_str(), 1);
    // A desktop with the runtime installed, so that the library loads without complaint.
    if (std::filesystem::exists(NB_BIN_DIR "/hotsync")) {
      ASSERT_EQ(std::system(NB_BIN_DIR "/hotsync init >/dev/null 2>&1"), 0);
    }
    su_.emplace();
    ipc_ = NB_FN(*su_, NB_GetRegisteredMsg)();
    ASSERT_NE(ipc_, 0u);
    NB_FN(*su_, NB_SetCreatorId)(kVXA1);
  }
  void TearDown() override { unsetenv("NB_UI_ANSWERS"); }

  void Notify(uint32_t code, intptr_t param = 1) { nb::bus::Broadcast(ipc_, code, param); }
  // CommandDone of `c` as the conduit sends it: the shared block names the command.
  void Done(const Command& c, intptr_t result = 1) {
    NB_FN(*su_, NB_SetCmdType)(c.type);
    NB_FN(*su_, NB_SetCmdFilename)(c.file.c_str());
    Notify(3, result);
  }

  std::vector<Command> TakeQueue() {
    std::vector<Command> out;
    Command c;
    char file[300];
    const char* plugin = nullptr;
    while (NB_FN(*su_, NB_GetNextCommandEx)(&c.type, file, sizeof file, &c.creator, &plugin, &c.p1,
                                            &c.p2, &c.p3)) {
      c.file = file;
      c.plugin = plugin ? plugin : "";
      out.push_back(c);
    }
    return out;
  }

  // The table files of these requests, without the folder.
  static std::vector<std::string> Tables(const std::vector<Command>& commands, uint32_t type) {
    std::vector<std::string> names;
    for (const Command& c : commands) {
      EXPECT_EQ(c.type, type) << c.file;
      names.push_back(std::filesystem::path(c.file).filename().string());
    }
    return names;
  }

  TempPrefix prefix_;
  std::string app_ = prefix_.path() + "/Valtrix";
  std::string ui_log_ = prefix_.path() + "/ui.log";
  std::optional<SyncUtil> su_;
  uint32_t ipc_ = 0;
};

const std::vector<std::string> kAppraisalTables = {"AprSubj.dbf", "AprHood.dbf", "AprSite.dbf",
                                                   "AprRmCt.dbf", "AprDsc1.dbf", "AprDsc2.dbf",
                                                   "AprDsc3.dbf", "AprVC.dbf"};
const std::vector<std::string> kPickTables = {"Apk01.dbf", "Apk02.dbf", "Apk03.dbf", "ApkLg.dbf"};

TEST_F(SyncFlowTest, StartsOnceCreatesItsFoldersAndASecondStartEndsAtOnce) {
  ValtrixProcess first(app_);
  ASSERT_TRUE(first.WaitForWindow()) << first.Output();
  for (const char* folder : {"/System", "/Outbox", "/Inbox"})
    EXPECT_TRUE(std::filesystem::is_directory(app_ + folder)) << folder;

  ValtrixProcess second(app_);
  EXPECT_EQ(second.Wait(), 0);
  EXPECT_EQ(second.Output(), "");
  int windows = 0;
  for (const auto& w : nb::bus::Windows()) windows += w.window_class == "frmValtrix";
  EXPECT_EQ(windows, 1);
  // Only the first one tried to add an icon.
  std::string log = Slurp(ui_log_);
  EXPECT_EQ(log.find("add Valtrix"), log.rfind("add Valtrix"));
  EXPECT_NE(log.find("add Valtrix"), std::string::npos);

  // Present folders stay as they are; a program in another folder is another instance.
  std::ofstream(app_ + "/Outbox/keep.vxa") << "[Header]\r\n";
  ValtrixProcess other(prefix_.path() + "/Other");
  EXPECT_TRUE(other.WaitForWindow());
  EXPECT_TRUE(std::filesystem::exists(app_ + "/Outbox/keep.vxa"));
}

TEST_F(SyncFlowTest, RightButtonOpensTheExitMenuAndOtherClicksDoNothing) {
  setenv("NB_UI_ANSWERS", "&SysTray=E&xit", 1);
  ValtrixProcess valtrix(app_);
  nb::bus::WindowInfo form;
  ASSERT_TRUE(valtrix.WaitForWindow(&form));
  for (int message : {513, 514, 515, 516})  // left down/up, double click, right down
    nb::bus::SendMessage(form, 512, 0, message);
  EXPECT_EQ(valtrix.Wait(300), -1) << "a left click must not end the program";
  EXPECT_EQ(Slurp(ui_log_).find("&SysTray"), std::string::npos);

  nb::bus::SendMessage(form, 512, 0, 517);
  EXPECT_EQ(valtrix.Wait(), 0);
  std::string log = Slurp(ui_log_);
  EXPECT_NE(log.find("\"caption\": \"&SysTray\", \"text\": \"Valtrix - idle\\nLast "
                     "synchronisation: none since the start\\n-\\nOpen &Inbox\\nOpen &error "
                     "log\\n-\\nE&xit\", \"answer\": \"E&xit\""),
            std::string::npos)
      << log;
}

TEST_F(SyncFlowTest, CloseRequestAndTermEndTheProgram) {
  {
    ValtrixProcess valtrix(app_);
    nb::bus::WindowInfo form;
    ASSERT_TRUE(valtrix.WaitForWindow(&form));
    nb::bus::PostMessage(form, nb::bus::kCloseMessage, 0, 0);
    EXPECT_EQ(valtrix.Wait(), 0);
  }
  ValtrixProcess valtrix(app_);  // the lock went with the first process
  ASSERT_TRUE(valtrix.WaitForWindow());
  kill(valtrix.pid(), SIGTERM);
  EXPECT_EQ(valtrix.Wait(), 0);
}

TEST_F(SyncFlowTest, AnotherApplicationsSynchronisationChangesNothing) {
  ValtrixProcess valtrix(app_);
  ASSERT_TRUE(valtrix.WaitForWindow());
  NB_FN(*su_, NB_SetCreatorId)(0x514D4E42);  // 'QMNB'
  Notify(1);
  Notify(3);
  Notify(2);
  EXPECT_TRUE(TakeQueue().empty());
  // Still in "Begin": a synchronisation of the application now starts from the top.
  NB_FN(*su_, NB_SetCreatorId)(kVXA1);
  Notify(3);
  EXPECT_TRUE(TakeQueue().empty());
  Notify(1);
  EXPECT_EQ(Tables(TakeQueue(), 4), std::vector<std::string>{"AprInfo.dbf"});
}

TEST_F(SyncFlowTest, SettingsFirstThenTheEightAppraisalTables) {
  ValtrixProcess valtrix(app_);
  ASSERT_TRUE(valtrix.WaitForWindow());
  Notify(1);
  std::vector<Command> settings = TakeQueue();
  ASSERT_EQ(settings.size(), 1u);
  EXPECT_EQ(settings[0].type, 4u);
  EXPECT_EQ(settings[0].file, app_ + "/System/AprInfo.dbf");
  EXPECT_EQ(settings[0].creator, kVXA1);
  EXPECT_EQ(settings[0].plugin, "pdbdevice.dll");
  EXPECT_EQ(settings[0].p1 + settings[0].p2 + settings[0].p3, 0u);
  EXPECT_TRUE(valtrix.WaitForLine("stage Settings"));

  Done(settings[0]);
  EXPECT_EQ(Tables(TakeQueue(), 4), kAppraisalTables);
  EXPECT_TRUE(valtrix.WaitForLine("stage A>B: 8 tables"));
}

TEST_F(SyncFlowTest, WaitingCommonResponsesBringThePickTablesUpToo) {
  ValtrixProcess valtrix(app_);
  ASSERT_TRUE(valtrix.WaitForWindow());
  std::ofstream(app_ + "/Outbox/commresp.dat") << "[ROOF]\r\n";
  Notify(1);
  Done(TakeQueue().at(0));
  std::vector<std::string> expected = kAppraisalTables;
  expected.insert(expected.end(), kPickTables.begin(), kPickTables.end());
  EXPECT_EQ(Tables(TakeQueue(), 4), expected);
  EXPECT_TRUE(valtrix.WaitForLine("stage A>B: 12 tables"));
}

TEST_F(SyncFlowTest, AFailureStopsTheStagesIsLoggedAndTheNextSynchronisationRuns) {
  ValtrixProcess valtrix(app_);
  ASSERT_TRUE(valtrix.WaitForWindow());
  Notify(1);
  Done(TakeQueue().at(0));
  // The System folder holds no tables: the export cannot open AprSubj.
  for (const Command& c : TakeQueue()) Done(c);
  EXPECT_TRUE(TakeQueue().empty());
  std::string log = Slurp(app_ + "/errorlog.txt");
  EXPECT_NE(log.find("Synchronisation stopped at stage A>B"), std::string::npos) << log;
  EXPECT_NE(log.find("AprSubj"), std::string::npos) << log;
  Notify(1);
  EXPECT_EQ(Tables(TakeQueue(), 4), std::vector<std::string>{"AprInfo.dbf"});
}

// The mark that downloads follow is written before the import: when it cannot be, the
// stage stops with the appraisal file still waiting and the tables as they were.
TEST_F(SyncFlowTest, AMarkThatCannotBeWrittenStopsTheStageBeforeTheImport) {
  for (const char* fault : {"open:1:ENOSPC:Downloads.pending", "rename:1:EIO:Downloads.pending"}) {
    SCOPED_TRACE(fault);
    std::filesystem::remove_all(app_);
    std::filesystem::create_directories(app_ + "/Outbox");
    ASSERT_EQ(
        std::system((NB_BIN_DIR "/aprgen --count 0 '" + app_ + "/System' >/dev/null").c_str()), 0);
    std::ofstream(app_ + "/Outbox/job.vxa") << "[AppraisalData]\r\nCITY.1=Lower\r\n";
    setenv("NB_FAULT", fault, 1);
    ValtrixProcess valtrix(app_);
    unsetenv("NB_FAULT");
    ASSERT_TRUE(valtrix.WaitForWindow());
    Notify(1);
    Done(TakeQueue().at(0));
    for (const Command& c : TakeQueue()) Done(c);
    EXPECT_TRUE(TakeQueue().empty());
    EXPECT_TRUE(std::filesystem::exists(app_ + "/Outbox/job.vxa"));
    EXPECT_FALSE(std::filesystem::exists(app_ + "/System/Imported"));
    for (const auto& e : std::filesystem::directory_iterator(app_ + "/System"))
      EXPECT_EQ(e.path().extension().string().substr(0, 3), ".db") << e.path();
    EXPECT_EQ(dao::Database::Open(app_ + "/System").All("AprSubj").RecordCount(), 0);
    const std::string log = Slurp(app_ + "/errorlog.txt");
    EXPECT_NE(log.find("stopped at stage B>C"), std::string::npos) << log;
    EXPECT_NE(log.find(app_ + "/System/Downloads.pending"), std::string::npos) << log;
  }
}

// The handheld keeps the downloads only if the synchronisation ends cleanly after them:
// the imported file and the mark stay until HotSync has noted that end.
TEST_F(SyncFlowTest, ImportedFilesAreForgottenOnlyAfterACleanEnd) {
  const std::string key = hotsync::FindPalmKeys().user + "\\HotSync Manager";
  if (key.front() == '\\') GTEST_SKIP() << "no hotsync to set up the desktop";
  for (const bool clean : {false, true}) {
    SCOPED_TRACE(clean ? "ended cleanly" : "link dropped after the downloads");
    std::filesystem::remove_all(app_);
    std::filesystem::create_directories(app_ + "/Outbox");
    ASSERT_EQ(
        std::system((NB_BIN_DIR "/aprgen --count 0 '" + app_ + "/System' >/dev/null").c_str()), 0);
    std::ofstream(app_ + "/Outbox/job.vxa") << "[AppraisalData]\r\nCITY.1=Lower\r\n";
    ASSERT_TRUE(nb::reg::SetDword(nb::reg::Hive::kCurrentUser, key, "SyncSession", 7));
    ValtrixProcess valtrix(app_);
    ASSERT_TRUE(valtrix.WaitForWindow());
    Notify(1);
    Done(TakeQueue().at(0));
    for (int round = 0; round < 2; ++round)  // the uploads, then the downloads
      for (const Command& c : TakeQueue()) Done(c);
    EXPECT_TRUE(TakeQueue().empty());
    EXPECT_EQ(Slurp(app_ + "/System/Downloads.session"), "7\n");
    ASSERT_TRUE(
        nb::reg::SetDword(nb::reg::Hive::kCurrentUser, key, "CleanSyncSession", clean ? 7 : 6));
    Notify(1);
    EXPECT_EQ(TakeQueue().size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(app_ + "/System/Downloads.session"));
    EXPECT_EQ(std::filesystem::exists(app_ + "/System/Downloads.pending"), !clean);
    EXPECT_EQ(std::filesystem::is_empty(app_ + "/System/Imported"), clean);
  }
}

// The texts of the tray's log lines, once the last one reads `last`.
std::vector<std::string> TrayTexts(const std::string& ui_log, const std::string& last) {
  std::vector<std::string> texts;
  for (int tries = 0; tries < 100 && (texts.empty() || texts.back() != last); ++tries) {
    if (tries) usleep(50 * 1000);
    texts.clear();
    std::istringstream log(Slurp(ui_log));
    const std::string start = "{\"caption\": \"tray\", \"text\": \"";
    for (std::string line; std::getline(log, line);)
      if (line.rfind(start, 0) == 0)
        texts.push_back(line.substr(start.size(), line.find("\", \"answer") - start.size()));
  }
  return texts;
}

TEST_F(SyncFlowTest, TheTrayIconShowsTheStageAndTheLastResult) {
  ValtrixProcess valtrix(app_);
  nb::bus::WindowInfo form;
  ASSERT_TRUE(valtrix.WaitForWindow(&form));
  Notify(1);
  Done(TakeQueue().at(0));
  for (const Command& c : TakeQueue()) Done(c);  // the export fails: no tables
  Notify(2);
  const std::string idle = "tip Valtrix - idle; last synchronisation stopped at stage A>B";
  EXPECT_EQ(TrayTexts(ui_log_, "icon idle"),
            (std::vector<std::string>{
                "add Valtrix", "tip Valtrix - idle",
                "tip Valtrix - synchronising: settings from the handheld", "icon busy",
                "tip Valtrix - synchronising: tables from the handheld",
                "tip Valtrix - synchronisation stopped at stage A>B", idle, "icon idle"}));
  // The menu tells why.
  nb::bus::SendMessage(form, 512, 0, 517);
  const std::string log = Slurp(ui_log_);
  EXPECT_NE(log.find(" stopped at stage A>B: "), std::string::npos) << log;
  // The next synchronisation starts afresh.
  Notify(1);
  EXPECT_EQ(TrayTexts(ui_log_, "icon busy").back(), "icon busy");
  EXPECT_EQ(TrayTexts(ui_log_, "icon busy").rbegin()[1],
            "tip Valtrix - synchronising: settings from the handheld");
}

// The menu's items, one process per row answering with one of them (headless: what would
// be opened is logged).
TEST_F(SyncFlowTest, TheMenuTellsTheLastSynchronisationAndOpensTheInboxAndTheErrorLog) {
  std::filesystem::create_directories(app_ + "/Outbox");
  ASSERT_EQ(std::system((NB_BIN_DIR "/aprgen --count 0 '" + app_ + "/System' >/dev/null").c_str()),
            0);
  std::ofstream(app_ + "/Outbox/job.vxa") << "[AppraisalData]\r\nCITY.1=Lower\r\n";
  const std::string opened = "{\"caption\": \"open\", \"text\": \"" + app_;
  const struct {
    const char* answer;
    bool error_log;     // errorlog.txt there
    std::string shown;  // in the UI log
  } rows[] = {
      {"", false, "): exported 0, imported 1\\n-\\nOpen &Inbox"},
      {"Open &Inbox", false, opened + "/Inbox/\", \"answer\": \"headless\""},
      {"open &error log", true, opened + "/errorlog.txt\", \"answer\": \"headless\""},
      {"Open &error log", false, "{\"caption\": \"Valtrix\", \"text\": \"No error has been logged"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.answer);
    setenv("NB_UI_ANSWERS", (std::string("&SysTray=") + row.answer).c_str(), 1);
    std::filesystem::remove(ui_log_);
    std::filesystem::remove(app_ + "/errorlog.txt");
    if (row.error_log) std::ofstream(app_ + "/errorlog.txt") << "a failure\r\n";
    ValtrixProcess valtrix(app_);
    nb::bus::WindowInfo form;
    ASSERT_TRUE(valtrix.WaitForWindow(&form));
    if (!*row.answer) {  // one whole synchronisation first
      Notify(1);
      Done(TakeQueue().at(0));
      for (int round = 0; round < 2; ++round)
        for (const Command& c : TakeQueue()) Done(c);
      Notify(2);
      EXPECT_EQ(TrayTexts(ui_log_, "icon idle").back(), "icon idle");
    }
    nb::bus::SendMessage(form, 512, 0, 517);
    const std::string log = Slurp(ui_log_);
    EXPECT_NE(log.find(row.shown), std::string::npos) << log;
  }
}

}  // namespace
