// The tables aprgen writes: every field the export reads, of the kind its conversion needs,
// and the settings, pick and tag tables around them.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "dao/dao.h"
#include "export_expected_steps.h"
#include "export_fixture.h"

namespace valtrix {
namespace {

using export_fixture::ProgramFolder;
using Type = dao::Field::Type;

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

TEST(ExportAprgen, TablesHoldEveryExportedFieldOfItsKind) {
  ProgramFolder dir({"--count", "2"});
  ASSERT_TRUE(dir.generated());
  dao::Database db = dao::Database::Open(dir.folders().system);
  // Data fields by table: total, text (memo included), logical, number.
  const std::map<std::string, std::array<int, 4>> counts = {
      {"AprSubj", {40, 31, 9, 0}},  {"AprHood", {77, 33, 44, 0}},  {"AprSite", {65, 30, 35, 0}},
      {"AprRmCt", {48, 0, 0, 48}},  {"AprDsc1", {124, 76, 48, 0}}, {"AprDsc2", {104, 53, 43, 8}},
      {"AprDsc3", {84, 18, 66, 0}}, {"AprVC", {190, 32, 158, 0}}};
  for (const export_expected::Writer& w : export_expected::kWriters) {
    const std::string table(w.table);
    SCOPED_TRACE(table);
    dao::Recordset rs = db.All(table);
    EXPECT_EQ(rs.RecordCount(), 2);
    std::set<std::string> fields;
    for (const export_expected::Step& s : w.steps) {
      for (std::string_view f : {s.field, s.half}) {
        if (f.empty()) continue;
        fields.insert(Upper(std::string(f)));
        const dao::Field& field = rs.GetField(std::string(f));
        if (s.conversion == "CheckValue" || s.conversion == "NoBox") {
          EXPECT_EQ(field.type, Type::Logical) << f;
        } else if (s.conversion == "TextValue") {
          EXPECT_TRUE(field.type == Type::Text || field.type == Type::Memo) << f;
        } else {
          EXPECT_EQ(field.type, Type::Number) << f;
        }
      }
    }
    std::array<int, 4> got = {static_cast<int>(fields.size()), 0, 0, 0};
    for (const dao::Field& f : rs.Fields()) {
      if (!fields.count(Upper(f.name))) continue;
      got[1] += f.type == Type::Text || f.type == Type::Memo;
      got[2] += f.type == Type::Logical;
      got[3] += f.type == Type::Number;
    }
    EXPECT_EQ(got, counts.at(table));
    EXPECT_TRUE(rs.HasField("AprID"));
  }
  dao::Recordset subj = db.All("AprSubj");
  EXPECT_TRUE(subj.HasField("SyncX") && subj.HasField("MajorForm"));
}

TEST(ExportAprgen, OptionsShapeTheSample) {
  ProgramFolder dir({"--count", "3", "--first-id", "10", "--forms", "COND", "--marked", "11",
                     "--delsync", "--omit", "AprDsc1.PH_TOTAL"});
  ASSERT_TRUE(dir.generated());
  dao::Database db = dao::Database::Open(dir.folders().system);
  dao::Recordset subj = db.All("AprSubj");
  std::vector<std::string> marks;
  for (subj.MoveFirst(); !subj.IsEOF(); subj.MoveNext()) {
    EXPECT_EQ(subj.Get("MajorForm").ToText(), "COND");
    marks.push_back(std::to_string(subj.Get("AprID").ToInt()) + subj.Get("SyncX").ToText());
  }
  EXPECT_EQ(marks, (std::vector<std::string>{"10", "11X", "12"}));
  dao::Recordset info = db.All("AprInfo");
  info.MoveFirst();
  EXPECT_TRUE(info.Get("DELSYNC").logical());
  EXPECT_FALSE(db.All("AprDsc1").HasField("PH_TOTAL"));
  EXPECT_TRUE(db.All("AprDsc1").HasField("PH_COMPL"));
}

// Every pick list has its "(Edit list...)" row, and every tag names an existing list.
TEST(ExportAprgen, PickListsAndTags) {
  ProgramFolder dir({"--count", "1"});
  ASSERT_TRUE(dir.generated());
  dao::Database db = dao::Database::Open(dir.folders().system);
  std::map<std::string, std::set<std::string>> lists;  // table -> lists with an edit row
  std::map<std::string, int> rows;
  for (const char* t : {"Apk01", "Apk02", "Apk03", "ApkLg"}) {
    dao::Recordset rs = db.All(t);
    for (rs.MoveFirst(); !rs.IsEOF(); rs.MoveNext()) {
      std::string type = rs.Get("Type").ToText();
      ++rows[std::string(t) + "/" + type];
      if (rs.Get("Desc").ToText() == "(Edit list...)") lists[t].insert(type);
    }
  }
  EXPECT_EQ(db.All("ApkLg").GetField("Desc").type, Type::Memo);
  dao::Recordset tags = db.All("TAGTABLE");
  int used = 0;
  for (tags.MoveFirst(); !tags.IsEOF(); tags.MoveNext()) {
    std::string field = tags.Get("PickField").ToText();
    if (field == "\"") continue;
    ++used;
    std::string table = tags.Get("PickTable").ToText();
    EXPECT_TRUE(lists[table].count(field)) << table << "/" << field;
    EXPECT_GT(rows[table + "/" + field], 1) << table << "/" << field;
  }
  EXPECT_GT(used, 8);
  for (const auto& [list, n] : rows) EXPECT_TRUE(lists[list.substr(0, 5)].count(list.substr(6)));
}

TEST(ExportAprgen, BadArgumentsFail) {
  nb::testing::TempPrefix prefix;
  EXPECT_FALSE(export_fixture::RunAprgen({"--omit", "AprDsc1.NOSUCH"}, prefix.path() + "/s"));
  EXPECT_FALSE(export_fixture::RunAprgen({"--count", "x"}, prefix.path() + "/s"));
  EXPECT_FALSE(std::filesystem::exists(prefix.path() + "/s"));
  EXPECT_TRUE(export_fixture::RunAprgen({"--help"}, prefix.path() + "/s"));
}

}  // namespace
}  // namespace valtrix
