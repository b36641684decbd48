#include <filesystem>
#include <string>

#include "commresp/common_responses.h"
#include "commresp_fixture.h"
#include "dao/dao.h"

namespace {

using commresp_test::Exists;
using commresp_test::ReadFile;
using commresp_test::Rows;
using commresp_test::WriteFile;
using commresp_test::WriteTable;

const std::string kEdit = "(Edit list...)";

class CommRespImport : public commresp_test::Desktop {
 protected:
  void PickTable(const std::string& name, const Rows& rows) {
    WriteTable(table(name), {{"Type", 20}, {"Desc", name == "ApkLg" ? 500 : 50}}, rows);
  }
  void TagTable(const Rows& rows) {
    WriteTable(table("TAGTABLE"), {{"Tag", 20}, {"PickTable", 12}, {"PickField", 20}}, rows);
  }
  Rows Read(const std::string& name) {
    Rows out;
    dao::Database db = dao::Database::Open(folders().system);
    dao::Recordset rs = db.All(name);
    if (!rs.IsEOF()) rs.MoveFirst();  // an empty selection has no first row
    for (; !rs.IsEOF(); rs.MoveNext())
      out.push_back({rs.Get("Type").ToText(), rs.Get("Desc").ToText()});
    return out;
  }
};

TEST_F(CommRespImport, WithoutTheFileNothingIsTouched) {
  PickTable("Apk01", {{"RoofType", kEdit}, {"RoofType", "Slate"}});
  TagTable({{"ROOF", "Apk01", "RoofType"}});
  const std::string before = ReadFile(table("Apk01"));
  valtrix::CommonResponsesPending = true;
  valtrix::ImportCommonResponses();
  EXPECT_FALSE(valtrix::CommonResponsesPending);
  EXPECT_EQ(ReadFile(table("Apk01")), before);
  EXPECT_FALSE(Exists(filtered()));
  EXPECT_TRUE(Logged().empty());
}

TEST_F(CommRespImport, ReplacesEveryListOfATagAndDeletesTheFile) {
  const std::string sixty(60, 'x');
  PickTable("Apk01", {{"Heating", "Forced air"},
                      {"RoofType", kEdit},
                      {"RoofType", "Slate"},
                      {"Length", "old"},
                      {"Heating", "Baseboard"}});
  PickTable("ApkLg", {{"RoofNote", "Old note"}, {"Length", kEdit}});
  TagTable({{"ROOF", "Apk01", "RoofType"},
            {"X", "ApkLg", "\""},
            {"ROOF", "ApkLg", "RoofNote"},
            {"LONG", "Apk01", "Length"},
            {"LONG", "ApkLg", "Length"},
            {"GONE", "Apk01", "Heating"}});
  WriteFile(commresp(), "[ROOF]\r\nComposition shingle\r\nTile=\r\n[LONG]\r\n" + sixty + "\r\n");
  valtrix::CommonResponsesPending = true;
  valtrix::ImportCommonResponses();

  EXPECT_TRUE(Logged().empty());
  EXPECT_TRUE(valtrix::CommonResponsesPending);
  EXPECT_FALSE(Exists(commresp()));
  EXPECT_FALSE(Exists(filtered()));
  // Old rows of a list go except its edit entry; new ones follow in file order, cut to
  // 50 characters except in ApkLg. A tag without a section leaves only the edit entry.
  EXPECT_EQ(Read("Apk01"), (Rows{{"RoofType", kEdit},
                                 {"RoofType", "Composition shingle"},
                                 {"RoofType", "Tile"},
                                 {"Length", sixty.substr(0, 50)}}));
  EXPECT_EQ(Read("ApkLg"), (Rows{{"Length", kEdit},
                                 {"RoofNote", "Composition shingle"},
                                 {"RoofNote", "Tile"},
                                 {"Length", sixty}}));
}

TEST_F(CommRespImport, NamesWithApostrophesAndLongSectionsWork) {
  PickTable("O'Brien", {{"Owner's", kEdit}, {"Owner's", "Old"}});
  WriteTable(table("Apk02"), {{"Type", 20}, {"Desc", 30}}, {});
  TagTable({{"OWNER", "O'Brien", "Owner's"}, {"OWNER", "Apk02", "Narrow"}});
  // More names than the Windows reader's 16384-character buffer holds; none may be lost.
  std::string file = "[OWNER]\r\n";
  for (int i = 0; i < 400; ++i)
    file += "Response number " + std::to_string(1000 + i) + " " + std::string(28, 'r') + "\r\n";
  WriteFile(commresp(), file);
  valtrix::ImportCommonResponses();
  EXPECT_TRUE(Logged().empty()) << ReadFile(folders().program + "/errorlog.txt");
  Rows rows = Read("O'Brien");
  ASSERT_EQ(rows.size(), 401u);
  EXPECT_EQ(rows[0][1], kEdit);
  EXPECT_EQ(rows[400][1], "Response number 1399 " + std::string(28, 'r'));
  // A column narrower than the limit takes what fits instead of failing the import.
  rows = Read("Apk02");
  ASSERT_EQ(rows.size(), 400u);
  EXPECT_EQ(rows[0][1], "Response number 1000 rrrrrrrrr");
}

TEST_F(CommRespImport, FailuresKeepTheFileForTheNextSynchronisation) {
  PickTable("Apk01", {{"RoofType", kEdit}, {"RoofType", "Slate"}});
  WriteFile(commresp(), "[ROOF]\r\nTile\r\n");

  TagTable({});
  valtrix::ImportCommonResponses();
  TagTable({{"ROOF", "Apk01", "\""}});
  valtrix::ImportCommonResponses();
  EXPECT_EQ(Logged(), (std::vector<std::string>{"Common Response Import error",
                                                "Common Response Import error"}));
  EXPECT_EQ(Read("Apk01"), (Rows{{"RoofType", kEdit}, {"RoofType", "Slate"}}));
  EXPECT_EQ(ReadFile(commresp()), "[ROOF]\r\nTile=\r\n");

  // A missing pick table stops the run after the rows before it.
  TagTable({{"ROOF", "Apk01", "RoofType"}, {"ROOF", "Apk09", "RoofType"}});
  valtrix::ImportCommonResponses();
  EXPECT_EQ(Logged().size(), 4u);
  EXPECT_EQ(Logged()[2], "Error clearing handheld tags");
  EXPECT_EQ(Logged()[3], "Common Response Import error");
  EXPECT_TRUE(Exists(commresp()));
  EXPECT_EQ(Read("Apk01"), (Rows{{"RoofType", kEdit}, {"RoofType", "Tile"}}));

  // The unfiltered responses still count when the filter cannot run.
  TagTable({{"ROOF", "Apk01", "RoofType"}});
  WriteFile(commresp(), "[ROOF]\r\nTile\r\nSlate=\r\n");
  std::filesystem::create_directories(filtered() + "/held");
  valtrix::ImportCommonResponses();
  EXPECT_EQ(Logged().back(), "Common Response Filtering error");
  EXPECT_FALSE(Exists(commresp()));
  EXPECT_EQ(Read("Apk01"), (Rows{{"RoofType", kEdit}, {"RoofType", "Slate"}}));

  // Saved as UTF-8 it is converted; a character the pick tables cannot hold keeps it back.
  std::filesystem::remove_all(filtered());
  WriteFile(commresp(), "[ROOF]\r\nTile \xE2\x9C\x93\r\n");
  valtrix::ImportCommonResponses();
  ASSERT_GE(Logged().size(), 2u);
  EXPECT_EQ(Logged().back(), "Common Response Import error");
  EXPECT_NE(Logged()[Logged().size() - 2].find("commresp.dat: character U+2713"),
            std::string::npos);
  EXPECT_TRUE(Exists(commresp()));
  WriteFile(commresp(),
            "[ROOF]\r\nArdoise \xC3\xA9"
            "paisse\r\n");
  valtrix::ImportCommonResponses();
  EXPECT_FALSE(Exists(commresp()));
  EXPECT_EQ(Read("Apk01"), (Rows{{"RoofType", kEdit},
                                 {"RoofType",
                                  "Ardoise \xE9"
                                  "paisse"}}));
}

// A table name taken from TAGTABLE names a table of the System folder or none.
TEST_F(CommRespImport, APickTableNameCannotLeadOutOfTheSystemFolder) {
  const std::string outside = folders().program + "/Outside.dbf";
  WriteTable(outside, {{"Type", 20}, {"Desc", 50}}, {{"RoofType", "Mine"}});
  const std::string before = ReadFile(outside);
  TagTable({{"ROOF", "../Outside", "RoofType"}});
  WriteFile(commresp(), "[ROOF]\r\nTile\r\n");
  valtrix::ImportCommonResponses();
  EXPECT_EQ(ReadFile(outside), before);
  EXPECT_EQ(Logged(), (std::vector<std::string>{valtrix::kClearFailed, valtrix::kImportFailed}));
}

}  // namespace
