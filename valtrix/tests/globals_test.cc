// Folders, the table list and the error log.
#include "globals.h"

#include <gtest/gtest.h>

#include <clocale>
#include <fstream>
#include <regex>
#include <sstream>

#include "program_folder.h"
#include "test_files.h"
#include "test_prefix.h"

namespace {

using nb::testing::TempPrefix;

using nb::testing::Slurp;
TEST(FoldersTest, FixedLayoutBelowTheProgramFolder) {
  valtrix::Folders f = valtrix::MakeFolders("/opt/vx/");
  EXPECT_EQ(f.program, "/opt/vx");
  EXPECT_EQ(f.system, "/opt/vx/System/");
  EXPECT_EQ(f.outbox, "/opt/vx/Outbox/");
  EXPECT_EQ(f.inbox, "/opt/vx/Inbox/");
  EXPECT_EQ(f.handheld_tables[0], "/opt/vx/System/AprSubj.dbf");
  EXPECT_EQ(f.handheld_tables[valtrix::kAprInfo], "/opt/vx/System/AprInfo.dbf");
  EXPECT_EQ(f.handheld_tables[12], "/opt/vx/System/ApkLg.dbf");
}

TEST(FoldersTest, ProgramFolderKeepsASymbolicLinksFolder) {
  TempPrefix prefix;
  std::string real = prefix.path() + "/real", linked = prefix.path() + "/linked";
  std::filesystem::create_directories(real);
  std::filesystem::create_directories(linked);
  std::ofstream(real + "/valtrix") << "";
  std::filesystem::create_symlink(real + "/valtrix", linked + "/valtrix");
  EXPECT_EQ(valtrix::ProgramFolder((linked + "/valtrix").c_str()), linked);
  EXPECT_EQ(valtrix::ProgramFolder((linked + "/./sub/../valtrix").c_str()), linked);
}

TEST(ErrorLogTest, TwoCallsAppendTwoStampedLinesAfterOlderContent) {
  // A locale named otherwise whose time forms are C's ("C.UTF-8") writes the C form too.
  for (const char* locale : {"C", "C.UTF-8"}) {
    TempPrefix prefix;
    valtrix::SetAppFolders(valtrix::MakeFolders(prefix.path()));
    std::ofstream(prefix.path() + "/errorlog.txt", std::ios::binary) << "old line\r\n";
    if (!std::setlocale(LC_TIME, locale)) continue;
    valtrix::LogError("A");
    valtrix::LogError("B");
    std::string log = Slurp(prefix.path() + "/errorlog.txt");
    // 12/6/2026 3:26:11 PM A
    std::regex form(
        "old line\r\n"
        "\\d{1,2}/\\d{1,2}/\\d{4} \\d{1,2}:\\d{2}:\\d{2} [AP]M A\r\n"
        "\\d{1,2}/\\d{1,2}/\\d{4} \\d{1,2}:\\d{2}:\\d{2} [AP]M B\r\n");
    EXPECT_TRUE(std::regex_match(log, form)) << locale << ": " << log;
  }
  std::setlocale(LC_TIME, "C");
}

TEST(ErrorLogTest, AnUnwritableLogIsReportedToTheCaller) {
  TempPrefix prefix;
  valtrix::SetAppFolders(valtrix::MakeFolders(prefix.path() + "/missing"));
  EXPECT_THROW(valtrix::LogError("lost"), std::runtime_error);
}

}  // namespace
