// Naming of appraisal data files, and the in-memory file against key-by-key writes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "export/file_naming.h"
#include "export/writers.h"
#include "export_fixture.h"
#include "export_reference.h"
#include "platform/prefix.h"
#include "test_prefix.h"

namespace valtrix {
namespace {

void Touch(const std::string& path) { std::ofstream(path) << "x"; }

class ExportFileNames : public ::testing::Test {
 protected:
  std::string Inbox() const { return prefix_.path() + "/"; }
  nb::testing::TempPrefix prefix_;
};

TEST_F(ExportFileNames, FirstFreeSuffix) {
  EXPECT_EQ(ChooseAppraisalFile(Inbox(), "123"), Inbox() + "123.vxa");
  Touch(Inbox() + "123.vxa");
  Touch(Inbox() + "123a.vxa");
  EXPECT_EQ(ChooseAppraisalFile(Inbox(), "123"), Inbox() + "123b.vxa");
  EXPECT_EQ(ChooseAppraisalFile(Inbox(), ""), Inbox() + ".vxa");
  // A folder of that name is as taken as a file.
  std::filesystem::create_directory(Inbox() + "123b.vxa");
  EXPECT_EQ(ChooseAppraisalFile(Inbox(), "123"), Inbox() + "123c.vxa");
}

TEST_F(ExportFileNames, AllTwentySevenTakenGivesNoName) {
  Touch(Inbox() + "9.vxa");
  for (char c = 'a'; c <= 'y'; ++c) Touch(Inbox() + "9" + c + ".vxa");
  EXPECT_EQ(ChooseAppraisalFile(Inbox(), "9"), Inbox() + "9z.vxa");
  Touch(Inbox() + "9z.vxa");
  EXPECT_EQ(ChooseAppraisalFile(Inbox(), "9"), std::nullopt);
}

TEST_F(ExportFileNames, FileNumberStaysInsideTheFolder) {
  EXPECT_EQ(FileNameBase("../../etc/passwd"), ".._.._etc_passwd");
  EXPECT_EQ(FileNameBase("..\\..\\boot"), ".._.._boot");
  EXPECT_EQ(FileNameBase("a:b*c?d\"e<f>g|h"), "a_b_c_d_e_f_g_h");
  EXPECT_EQ(FileNameBase(std::string("ta\tb\nc\0d", 8)), "ta_b_c_d");
  EXPECT_EQ(FileNameBase(std::string(400, '7')).size(), 200u);
  // Ordinary numbers, blanks, dots and dashes included, are kept.
  for (const char* ordinary : {"123", "2026-0042", "J 12.3", "..", "Smith, A."}) {
    EXPECT_EQ(FileNameBase(ordinary), ordinary);
  }
  for (const std::string& hostile :
       {std::string("../escape/x"), std::string(".."), std::string("/etc/passwd"),
        std::string("C:\\boot"), std::string("C:"), std::string("a\0/b", 4)}) {
    std::optional<std::string> p = ChooseAppraisalFile(Inbox(), hostile);
    ASSERT_TRUE(p) << hostile;
    EXPECT_EQ(std::filesystem::path(*p).parent_path(), std::filesystem::path(prefix_.path()));
    EXPECT_TRUE(nb::IsPlainFileName(std::filesystem::path(*p).filename().string())) << *p;
  }
}

// An export interrupted before its mark was cleared is recognised by its bytes alone.
TEST_F(ExportFileNames, IdenticalFileFoundAmongTheCandidates) {
  std::ofstream(Inbox() + "123.vxa") << "[Header]\r\nMajorForm=1004\r\n";
  std::ofstream(Inbox() + "123a.vxa") << "[Header]\r\nMajorForm=COND\r\n";
  std::ofstream(Inbox() + "1234.vxa") << "[Header]\r\nMajorForm=2055\r\n";
  EXPECT_EQ(FindIdenticalAppraisalFile(Inbox(), "123", "[Header]\r\nMajorForm=COND\r\n"),
            Inbox() + "123a.vxa");
  EXPECT_EQ(FindIdenticalAppraisalFile(Inbox(), "123", "[Header]\r\nMajorForm=COND"), std::nullopt);
  EXPECT_EQ(FindIdenticalAppraisalFile(Inbox(), "123", "[Header]\r\nMajorForm=2055\r\n"),
            std::nullopt);
}

// Values that the profile reader splits or treats as structure: the file built in memory
// must still be what writing key by key leaves.
TEST_F(ExportFileNames, InMemoryFileEqualsKeyByKeyWrites) {
  const std::pair<const char*, const char*> keys[] = {
      {"A.1", "plain"},      {"B.1", ""},
      {"C.1", "one\rtwo"},   {"D.1", "x\r[Header]\rMajorForm=bad"},
      {"two", "replaced"},   {"E.1", "  padded  "},
      {"F.1", "\"quoted\""}, {"a.1", "same key, other case"},
      {"G.1", "tail\r"},     {"H.1", "last"}};
  const std::string path = prefix_.path() + "/ref.vxa";
  nb::Profile file;
  PutKey(file, kHeaderSection, "MajorForm", "1004");
  export_reference::WriteKey(path, kHeaderSection, "MajorForm", "1004");
  for (const auto& [k, v] : keys) {
    PutKey(file, kDataSection, k, v);
    export_reference::WriteKey(path, kDataSection, k, v);
  }
  const std::string mine = prefix_.path() + "/mine.vxa";
  ASSERT_TRUE(file.Save(mine));
  EXPECT_EQ(export_fixture::ReadFile(mine), export_fixture::ReadFile(path));
}

}  // namespace
}  // namespace valtrix
