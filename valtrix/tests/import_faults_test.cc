// The form's import under a full disk, a failing rename and links planted where it reads,
// moves and writes: stored data stays as it was, nothing a link leads to is written or
// moved, and the error log names the file.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "commresp/common_responses.h"
#include "form.h"
#include "import/imported_files.h"
#include "import/interrupted_downloads.h"
#include "import/reader_lists.h"
#include "import_fixture.h"
#include "platform/event_loop.h"
#include "platform/os.h"
#include "test_files.h"

namespace valtrix {
namespace {

namespace fs = std::filesystem;
using nb::testing::Slurp;

class ImportFaults : public testing::ImportFixture {
 protected:
  void SetUp() override {
    ImportFixture::SetUp();
    loop_ = nb::ui::EventLoop::Create();
    MakeTables();
    fs::copy(AppFolders().system, saved_, fs::copy_options::recursive);
  }

  // Tables as generated, job.vxa waiting, no log, nothing kept.
  void Reset() {
    fs::remove_all(AppFolders().system);
    fs::copy(saved_, AppFolders().system, fs::copy_options::recursive);
    fs::remove(program_ + "/errorlog.txt");
    Put("job.vxa", JobFile());
  }

  // Text in every text and memo field the readers fill, so that every table and memo file
  // of the eight is written.
  std::string JobFile() {
    dao::Database db = dao::Database::Open(AppFolders().system);
    testing::Keys keys = {{"FORM_FILE_NUMBER.1", "J-1"}};
    for (const import::ReaderList& list : import::ReaderLists()) {
      dao::Recordset rs = db.All(std::string(list.table_name));
      for (const import::Step& step : *list.steps) {
        if (step.kind != import::StepKind::kText || !rs.HasField(step.field)) continue;
        dao::Field::Type type = rs.GetField(step.field).type;
        if (type == dao::Field::Type::Text) keys.push_back({step.key, "T"});
        if (type == dao::Field::Type::Memo) keys.push_back({step.key, "line one|line two"});
      }
    }
    return testing::Vxa("URAR", keys);
  }

  // Every live record of the thirteen tables, value by value.
  static std::string Records() {
    std::string all;
    dao::Database db = dao::Database::Open(AppFolders().system);
    for (const std::string& path : AppFolders().handheld_tables) {
      dao::Recordset rs = db.All(fs::path(path).stem().string());
      all += path + "\n";
      if (rs.RecordCount() == 0) continue;
      for (rs.MoveFirst(); !rs.IsEOF(); rs.MoveNext()) {
        for (size_t c = 0; c < rs.Fields().size(); ++c) all += rs.At(c).ToText() + "|";
        all += "\n";
      }
    }
    return all;
  }

  static std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.insert(e.path().filename());
    return names;
  }

  void Import() {
    frmValtrix form(*loop_);
    form.ImportAppraisals();
  }

  // Runs the import failing the nth `call` with `err` for n = 1, 2, ... until the fault no
  // longer fires; each time the tables hold their records, job.vxa waits in the Outbox, no
  // file is left behind and the log names it. Returns how many calls failed.
  int EachStepFails(nb::OsCall call, int err) {
    Reset();
    const std::string records = Records();
    const std::set<std::string> system = Names(AppFolders().system);
    for (int nth = 1;; ++nth) {
      Reset();
      nb::FaultyOs faulty(call, nth, err);
      {
        nb::ScopedOs scoped(faulty);
        Import();
      }
      if (!faulty.fired()) {
        EXPECT_EQ(Rows("AprSubj", 1), 1) << "the import without a fault";
        return nth - 1;
      }
      SCOPED_TRACE("call " + std::to_string(nth));
      EXPECT_EQ(Records(), records);
      EXPECT_EQ(Names(AppFolders().outbox), std::set<std::string>{"job.vxa"});
      std::set<std::string> now = Names(AppFolders().system);
      now.erase("Imported");
      EXPECT_EQ(now, system);
      if (fs::exists(AppFolders().system + "Imported")) {
        EXPECT_TRUE(fs::is_empty(AppFolders().system + "Imported"));
      }
      const std::string log = ErrorLog();
      EXPECT_NE(log.find(AppFolders().outbox + "job.vxa"), std::string::npos) << log;
      EXPECT_NE(log.find(std::strerror(err)), std::string::npos) << log;
    }
  }

  std::unique_ptr<nb::ui::EventLoop> loop_;
  std::string saved_ = prefix_.path() + "/tables";
};

TEST_F(ImportFaults, FullDiskAtEachWrite) {
  EXPECT_GT(EachStepFails(nb::OsCall::kWrite, ENOSPC), 8);
}

TEST_F(ImportFaults, FailingRenameAtEachMove) {
  EXPECT_GT(EachStepFails(nb::OsCall::kRename, EIO), 0);
}

// Reading a file through a link is harmless; writing through one, or moving files out of a
// folder a link leads to, is not.
TEST_F(ImportFaults, LinksInTheOutboxAreNeverWrittenThrough) {
  const std::string outside = prefix_.path() + "/outside/";
  fs::create_directories(outside);
  const std::string job = JobFile(), responses = "[ROOF]\r\nTile\r\n";
  std::ofstream(outside + "job.vxa", std::ios::binary) << job;
  std::ofstream(outside + "commresp.dat", std::ios::binary) << responses;
  fs::create_symlink(outside + "job.vxa", AppFolders().outbox + "job.vxa");
  fs::create_symlink(outside + "commresp.dat", AppFolders().outbox + "commresp.dat");
  Import();
  ImportCommonResponses();
  ForgetImportedFiles();
  EXPECT_EQ(Rows("AprSubj", 1), 1);
  EXPECT_EQ(Slurp(outside + "job.vxa"), job);
  EXPECT_EQ(Slurp(outside + "commresp.dat"), responses);

  fs::remove_all(AppFolders().outbox);
  fs::create_directory_symlink(outside, program_ + "/Outbox");
  Import();
  ImportCommonResponses();
  EXPECT_EQ(Names(outside), (std::set<std::string>{"commresp.dat", "job.vxa"}));
  EXPECT_EQ(Slurp(outside + "job.vxa"), job);
  EXPECT_EQ(Slurp(outside + "commresp.dat"), responses);
  EXPECT_EQ(Rows("AprSubj", 2), 0);
  EXPECT_NE(ErrorLog().find("the Outbox folder " + AppFolders().outbox + " is a link"),
            std::string::npos)
      << ErrorLog();
}

TEST_F(ImportFaults, LinksInTheSystemFolderAreRefusedOrReplaced) {
  const std::string outside = prefix_.path() + "/outside/";
  fs::create_directories(outside);
  std::ofstream(outside + "keep.txt") << "kept";
  std::ofstream(outside + "mark") << "mine";
  const std::string kept = AppFolders().system + "Imported";
  fs::create_directory_symlink(outside, kept);
  Put("job.vxa", JobFile());
  Import();
  EXPECT_TRUE(InOutbox("job.vxa"));
  EXPECT_EQ(Rows("AprSubj", 1), 0);
  EXPECT_NE(ErrorLog().find(kept + "/ is a link"), std::string::npos) << ErrorLog();
  EXPECT_THROW(RecoverImportedFiles(), std::runtime_error);
  EXPECT_THROW(ForgetImportedFiles(), std::runtime_error);
  EXPECT_EQ(Names(outside), (std::set<std::string>{"keep.txt", "mark"}));

  const std::string mark = AppFolders().system + "Downloads.pending";
  fs::create_symlink(outside + "mark", mark);
  NoteDownloadsStarting(ReadAppraisalRows());
  EXPECT_FALSE(fs::is_symlink(mark));
  NoteDownloadsDone();
  EXPECT_EQ(Slurp(outside + "mark"), "mine");
}

// The mark is read back whole, whatever bytes its rows hold; any shorter text is refused.
TEST(DownloadsMark, ReadsBackWholeAndRefusesATruncatedOne) {
  const std::vector<ChangedRows> changes = {
      {"AprSite", 5, "0123456789abcdef", {}},
      {"AprSubj", -2, "", {std::string("row\n1:\0x", 8), "a"}}};
  const std::string mark = EncodeMark(changes);
  EXPECT_EQ(DecodeMark(mark), changes);
  for (size_t n = 0; n < mark.size(); ++n)
    EXPECT_EQ(DecodeMark(mark.substr(0, n)), std::nullopt) << n;
}

}  // namespace
}  // namespace valtrix
