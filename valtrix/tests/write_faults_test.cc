// A full disk or a failing rename while the program writes its files: the stored files stay
// byte for byte as they were, and the error log names the file.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "commresp/common_responses.h"
#include "commresp_fixture.h"
#include "export/export_appraisal.h"
#include "export/file_naming.h"
#include "export_fixture.h"
#include "platform/os.h"

namespace {

struct Fault {
  nb::OsCall call;
  int err;
};
constexpr Fault kFaults[] = {{nb::OsCall::kWrite, ENOSPC}, {nb::OsCall::kRename, EIO}};

using CommRespFaults = commresp_test::Desktop;

TEST_F(CommRespFaults, FilteringLeavesTheResponsesAndNamesTheFile) {
  for (const Fault& f : kFaults) {
    const std::string original = "[ROOF]\r\nTile\r\n";
    commresp_test::WriteFile(commresp(), original);
    nb::FaultyOs faulty(f.call, 1, f.err);
    {
      nb::ScopedOs scoped(faulty);
      valtrix::FilterCommonResponses();
    }
    EXPECT_EQ(commresp_test::ReadFile(commresp()), original);
    const std::string log = commresp_test::ReadFile(folders().program + "/errorlog.txt");
    EXPECT_NE(log.find("cannot write " + commresp() + ": " + strerror(f.err)), std::string::npos)
        << log;
    EXPECT_NE(log.find("Common Response Filtering error"), std::string::npos);
  }
}

TEST(ExportFaults, NoFileIsPublishedAndTheMarkStays) {
  for (const Fault& f : kFaults) {
    export_fixture::ProgramFolder dir({"--count", "1"});
    ASSERT_TRUE(dir.generated());
    nb::FaultyOs faulty(f.call, 1, f.err);
    {
      nb::ScopedOs scoped(faulty);
      valtrix::ExportAppraisal(1);
    }
    EXPECT_TRUE(faulty.fired());
    EXPECT_TRUE(dir.InboxFiles().empty());
    dao::Database db = dao::Database::Open(dir.folders().system);
    dao::Recordset rs = db.Where("AprSubj", "APRID", dao::Value::Number(1));
    EXPECT_EQ(rs.Get("SyncX").ToText(), "X");
    const std::string log = dir.ErrorLog();
    EXPECT_NE(log.find("cannot write " + dir.folders().inbox), std::string::npos) << log;
    EXPECT_NE(log.find(strerror(f.err)), std::string::npos) << log;
  }
}

// A link planted at the name the export would write is a taken name, never a way out.
TEST(ExportFaults, ALinkAtTheExportsNameIsPassedOver) {
  export_fixture::ProgramFolder dir({"--count", "1"});
  ASSERT_TRUE(dir.generated());
  dao::Database db = dao::Database::Open(dir.folders().system);
  const std::string base = valtrix::FileNameBase(
      db.Where("AprSubj", "APRID", dao::Value::Number(1)).Get("FileNumber").ToText());
  db.Close();
  const std::string outside = dir.folders().program + "/outside.txt";
  commresp_test::WriteFile(outside, "mine");
  std::filesystem::create_symlink(outside, dir.folders().inbox + base + ".vxa");
  valtrix::ExportAppraisal(1);
  EXPECT_EQ(export_fixture::ReadFile(outside), "mine");
  EXPECT_TRUE(std::filesystem::is_symlink(dir.folders().inbox + base + ".vxa"));
  EXPECT_EQ(dir.InboxFiles(), (std::vector<std::string>{base + ".vxa", base + "a.vxa"}));
}

// An Inbox that is a link is refused as the Outbox is: nothing is written where it leads,
// and the appraisal keeps its mark for the next synchronisation.
TEST(ExportFaults, ALinkedInboxIsRefused) {
  export_fixture::ProgramFolder dir({"--count", "1"});
  ASSERT_TRUE(dir.generated());
  const std::string inbox = dir.folders().inbox, outside = dir.folders().program + "/outside";
  std::filesystem::create_directory(outside);
  std::filesystem::remove_all(inbox);
  std::filesystem::create_directory_symlink(outside, inbox.substr(0, inbox.size() - 1));
  valtrix::ExportAppraisal(1);
  EXPECT_TRUE(std::filesystem::is_empty(outside));
  dao::Database db = dao::Database::Open(dir.folders().system);
  EXPECT_EQ(db.Where("AprSubj", "APRID", dao::Value::Number(1)).Get("SyncX").ToText(), "X");
  EXPECT_NE(dir.ErrorLog().find("the Inbox folder " + inbox + " is a link"), std::string::npos)
      << dir.ErrorLog();
}

}  // namespace
