// ExportAppraisal through generated tables, real table files and real appraisal data files.
#include "export/export_appraisal.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "dao/dao.h"
#include "export_fixture.h"
#include "export_reference.h"

namespace valtrix {
namespace {

using dao::Value;
using export_fixture::ProgramFolder;
using export_fixture::ReadFile;

const char* const kAppraisalTables[] = {"AprSubj", "AprHood", "AprSite", "AprRmCt",
                                        "AprDsc1", "AprDsc2", "AprDsc3", "AprVC"};

class Export : public ::testing::Test {
 protected:
  void Generate(std::vector<std::string> args) {
    dir_ = std::make_unique<ProgramFolder>(args);
    ASSERT_TRUE(dir_->generated());
  }
  const Folders& folders() const { return dir_->folders(); }

  dao::Recordset Row(const std::string& table, int id) {
    dao::Database db = dao::Database::Open(folders().system);
    dao::Recordset rs = db.Where(table, "APRID", Value::Number(id));
    rs.MoveLast();
    return rs;
  }
  void Set(const std::string& table, int id, const std::string& field, const Value& v) {
    dao::Recordset rs = Row(table, id);
    ASSERT_FALSE(rs.IsEOF()) << table << " " << id;
    rs.Edit();
    rs.Set(field, v);
    rs.Update();
  }
  int Rows(const std::string& table, int id) {
    return dao::Database::Open(folders().system)
        .Where(table, "APRID", Value::Number(id))
        .RecordCount();
  }
  std::string SyncX(int id) { return Row("AprSubj", id).Get("SyncX").ToText(); }
  std::string FileNumber(int id) { return Row("AprSubj", id).Get("FileNumber").ToText(); }

  // The file the reference writes for this appraisal, key by key, outside the Inbox.
  std::string Reference(int id) {
    const std::string path = folders().program + "/reference.vxa";
    std::filesystem::remove(path);
    export_reference::WriteAppraisal(folders().system, id, path);
    return ReadFile(path);
  }
  std::string Inbox(const std::string& name) { return folders().inbox + name; }

  std::unique_ptr<ProgramFolder> dir_;
};

// Header keys and the keys of the data section, in file order.
std::vector<std::string> DataKeys(const std::string& path) {
  return nb::Profile::Load(path).Keys("AppraisalData");
}

TEST_F(Export, EachFormGivesTheFullKeyListAndTheKeyByKeyBytes) {
  Generate({"--count", "4", "--forms", "URAR,COND,704,1004"});
  // The "704" appraisal: one yes box ticked, one empty.
  Set("AprDsc2", 3, "704FAMRM", Value::Logical(false));
  Set("AprDsc2", 3, "704CENTAIR", Value::Logical(true));
  const size_t expected_keys[] = {716, 701, 717, 716};
  for (int id = 1; id <= 4; ++id) {
    SCOPED_TRACE("AprID " + std::to_string(id));
    const std::string name = FileNumber(id) + ".vxa";
    ExportAppraisal(static_cast<int16_t>(id));
    ASSERT_TRUE(std::filesystem::exists(Inbox(name)));
    std::vector<std::string> keys = DataKeys(Inbox(name));
    EXPECT_EQ(keys.size(), expected_keys[id - 1]);
    EXPECT_EQ(std::set<std::string>(keys.begin(), keys.end()).size(), keys.size());
    EXPECT_EQ(ReadFile(Inbox(name)), Reference(id));
    EXPECT_EQ(SyncX(id), "");
  }
  EXPECT_EQ(dir_->ErrorLog(), "");
  // Only the four files: no temporary file is left behind.
  EXPECT_EQ(dir_->InboxFiles().size(), 4u);
}

TEST_F(Export, FileStartsWithHeaderAndUrarIsWrittenAs1004) {
  Generate({"--count", "1", "--forms", "URAR"});
  Set("AprSubj", 1, "CaseNumber", Value::Text(""));
  Set("AprSubj", 1, "FileNumber", Value::Text("123"));
  ExportAppraisal(1);
  std::string text = ReadFile(Inbox("123.vxa"));
  EXPECT_EQ(text.rfind("[Header]\r\nMajorForm=1004\r\n[AppraisalData]\r\nCLIENT_CASE_NUMBER.1=\r\n"
                       "FORM_FILE_NUMBER.1=123\r\n",
                       0),
            0u);
  // The form blocks follow the converted text: "1004" is neither "COND" nor "704".
  nb::Profile p = nb::Profile::Load(Inbox("123.vxa"));
  EXPECT_TRUE(p.Has("AppraisalData", "POOL_X.1"));
  EXPECT_FALSE(p.Has("AppraisalData", "BALCONY_X.1"));
  EXPECT_FALSE(p.Has("AppraisalData", "ROOM_FAMILY_ROOM_NO_X.1"));
}

TEST_F(Export, FormBlocks) {
  Generate({"--count", "3", "--forms", "COND,704,704"});
  nb::Profile cond;
  Set("AprDsc2", 1, "D_OTHTYPE", Value::Text("Clubhouse"));
  Set("AprDsc3", 1, "D_OTHNAME", Value::Text("Shed"));
  Set("AprDsc2", 2, "704FAMRM", Value::Logical(false));
  Set("AprDsc2", 2, "704CENTAIR", Value::Logical(false));
  Set("AprDsc2", 3, "704FAMRM", Value::Logical(true));
  Set("AprDsc2", 3, "704CENTAIR", Value::Logical(true));
  for (int id = 1; id <= 3; ++id) ExportAppraisal(static_cast<int16_t>(id));

  cond = nb::Profile::Load(Inbox(FileNumber(1) + ".vxa"));
  EXPECT_EQ(cond.Get("AppraisalData", "OTHER_AMENITY_NAME.1"), "Clubhouse");
  EXPECT_TRUE(cond.Has("AppraisalData", "BALCONY_DESC.1"));
  EXPECT_TRUE(cond.Has("AppraisalData", "BALCONY_X.1"));
  for (const char* absent : {"POOL_DESC.1", "POOL_X.1", "CAR_NUMBR_GARAGE_ATTACH.1",
                             "CAR_NUMBR_DRIVEWAY.1", "CAR_DRIVEWAY_X.1", "UNIT_PARK_OWNED_X.1"}) {
    EXPECT_FALSE(cond.Has("AppraisalData", absent)) << absent;
  }
  EXPECT_EQ(DataKeys(Inbox(FileNumber(1) + ".vxa")).size(), 701u);

  nb::Profile both_empty = nb::Profile::Load(Inbox(FileNumber(2) + ".vxa"));
  EXPECT_EQ(both_empty.Get("AppraisalData", "ROOM_FAMILY_ROOM_YES_X.1", "?"), "");
  EXPECT_EQ(both_empty.Get("AppraisalData", "ROOM_FAMILY_ROOM_NO_X.1"), "X");
  EXPECT_EQ(both_empty.Get("AppraisalData", "COOL_CENTRAL_NO_X.1"), "X");
  EXPECT_EQ(both_empty.Keys("AppraisalData").size(), 718u);

  nb::Profile both_ticked = nb::Profile::Load(Inbox(FileNumber(3) + ".vxa"));
  EXPECT_EQ(both_ticked.Get("AppraisalData", "ROOM_FAMILY_ROOM_YES_X.1"), "X");
  EXPECT_FALSE(both_ticked.Has("AppraisalData", "ROOM_FAMILY_ROOM_NO_X.1"));
  EXPECT_FALSE(both_ticked.Has("AppraisalData", "COOL_CENTRAL_NO_X.1"));
  EXPECT_EQ(both_ticked.Keys("AppraisalData").size(), 716u);
}

TEST_F(Export, ValuesThroughTheirConversions) {
  Generate({"--count", "1", "--forms", "URAR"});
  Set("AprSubj", 1, "APRNOTES", Value::Text("Line one\nLine two|kept"));
  Set("AprSubj", 1, "S_TYPEPUD", Value::Logical(true));
  Set("AprSubj", 1, "S_OCCOWNER", Value::Logical(false));
  for (const char* f : {"RC1_BED", "RC1_FB", "RC1_HB", "RC1_LAUND", "RCB_FB", "RCB_HB"}) {
    Set("AprRmCt", 1, f, Value::Number(0));
  }
  Set("AprRmCt", 1, "RC1_BED", Value::Number(3));
  Set("AprRmCt", 1, "RC1_FB", Value::Number(2));
  Set("AprRmCt", 1, "RCB_HB", Value::Number(1));
  Set("AprDsc1", 1, "D_NUMUNITS", Value::Text("0"));
  Set("AprVC", 1, "SEPFAILY", Value::Logical(false));
  Set("AprVC", 1, "SEPFAILN", Value::Logical(false));
  // No value: ticked.
  ASSERT_TRUE(export_fixture::PokeField(folders().system + "AprSubj.dbf", 0, "S_OCCTENAN", '?'));
  ASSERT_TRUE(Row("AprSubj", 1).Get("S_OCCTENAN").is_null());
  const std::string reference = Reference(1);
  ExportAppraisal(1);
  nb::Profile p = nb::Profile::Load(Inbox(FileNumber(1) + ".vxa"));
  EXPECT_EQ(p.Get("AppraisalData", "APPRAISER_NOTES.1"), "Line one|Line two|kept");
  EXPECT_EQ(p.Get("AppraisalData", "PROJECT_TYPE_PUD_X.1"), "X");
  EXPECT_EQ(p.Get("AppraisalData", "PROP_TYPE_PUD_X.1"), "X");
  EXPECT_EQ(p.Get("AppraisalData", "OCCUPANT_OWNER_X.1", "?"), "");
  EXPECT_EQ(p.Get("AppraisalData", "OCCUPANT_TENANT_X.1"), "X");
  EXPECT_EQ(p.Get("AppraisalData", "ROOM_BEDROOMS.1"), "3");
  EXPECT_EQ(p.Get("AppraisalData", "ROOM_BATHS.1"), "2F");
  EXPECT_EQ(p.Get("AppraisalData", "ROOM_LAUNDRY.1", "?"), "");
  EXPECT_EQ(p.Get("AppraisalData", "ROOM_BATHS.-1"), "1H");
  EXPECT_EQ(p.Get("AppraisalData", "GDES_NUMBER_OF_UNITS.1"), "0");
  EXPECT_EQ(p.Get("AppraisalData", "VC_SEPTIC_FAILURE_YES_X.1", "?"), "");
  EXPECT_EQ(p.Get("AppraisalData", "VC_SEPTIC_FAILURE_NO_X.1", "?"), "");
  EXPECT_EQ(ReadFile(Inbox(FileNumber(1) + ".vxa")), reference);
}

TEST_F(Export, MissingRowOrFormWritesNothingAndKeepsTheMark) {
  Generate({"--count", "2", "--forms", "URAR", "--delsync"});
  {
    dao::Recordset vc = Row("AprVC", 1);
    vc.Delete();
  }
  Set("AprSubj", 2, "MajorForm", Value::Text(""));
  ExportAppraisal(1);
  ExportAppraisal(2);
  EXPECT_TRUE(dir_->InboxFiles().empty());
  EXPECT_EQ(SyncX(1), "X");
  EXPECT_EQ(SyncX(2), "X");
  EXPECT_EQ(Rows("AprSubj", 1), 1);
  EXPECT_EQ(Rows("AprHood", 2), 1);
  std::string log = dir_->ErrorLog();
  size_t first = log.find(" saving appraisal to VXA\r\n");
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(log.find(" saving appraisal to VXA\r\n", first + 1), std::string::npos);
}

// A failure in the last writer publishes no partial file.
TEST_F(Export, LateFailureLeavesNoFileAndNothingDeleted) {
  Generate({"--count", "1", "--delsync", "--omit", "AprVC.YRBUILT"});
  ExportAppraisal(1);
  EXPECT_TRUE(dir_->InboxFiles().empty());
  EXPECT_EQ(SyncX(1), "X");
  for (const char* t : kAppraisalTables) EXPECT_EQ(Rows(t, 1), 1) << t;
  EXPECT_NE(dir_->ErrorLog().find("saving appraisal to VXA"), std::string::npos);
}

TEST_F(Export, MissingDescription1FieldsDropOnlyTheirKeys) {
  std::vector<std::string> args = {"--count", "1", "--forms", "URAR"};
  const char* project[] = {"PH_TOTAL",  "PH_COMPL", "PH_SALE", "PH_SOLD", "PH_RENT", "PH_SOURCE",
                           "CM_PHASES", "CM_UNITS", "CM_SALE", "CM_SOLD", "CM_RENT", "CM_SOURCE",
                           "IN_PHASES", "IN_UNITS", "IN_SALE", "IN_SOLD", "IN_RENT", "IN_SOURCE"};
  for (const char* f : project) {
    args.push_back("--omit");
    args.push_back(std::string("AprDsc1.") + f);
  }
  Generate(args);
  ExportAppraisal(1);
  const std::string path = Inbox(FileNumber(1) + ".vxa");
  nb::Profile p = nb::Profile::Load(path);
  EXPECT_EQ(p.Keys("AppraisalData").size(), 716u - 18u);
  EXPECT_FALSE(p.Has("AppraisalData", "PROJ_PHASE_UNITS_TOTAL.1"));
  EXPECT_FALSE(p.Has("AppraisalData", "PROJ_INCOMPL_DATA_SOURC.1"));
  EXPECT_FALSE(p.Has("AppraisalData", "PROJ_COMPL_DATA_SOURC.1"));
  EXPECT_TRUE(p.Has("AppraisalData", "PROJ_PRIMARY_RESIDEN_X.1"));
  EXPECT_EQ(SyncX(1), "");
  EXPECT_EQ(dir_->ErrorLog(), "");
  EXPECT_EQ(ReadFile(path), Reference(1));
}

TEST_F(Export, DelsyncDeletesTheExportedRowsOnly) {
  Generate({"--count", "2", "--delsync"});
  {
    // A second AprHood row for appraisal 1: the last one is exported and deleted.
    dao::Database db = dao::Database::Open(folders().system);
    dao::Recordset rs = db.All("AprHood");
    rs.AddNew();
    rs.Set("AprID", Value::Number(1));
    rs.Set("N_BOUND", Value::Text("Second row"));
    rs.Update();
  }
  const std::string name = FileNumber(1) + ".vxa";
  ExportAppraisal(1);
  EXPECT_EQ(nb::Profile::Load(Inbox(name)).Get("AppraisalData", "NBHD_BOUNDARIES.1"), "Second row");
  EXPECT_EQ(Rows("AprHood", 1), 1);
  EXPECT_NE(Row("AprHood", 1).Get("N_BOUND").ToText(), "Second row");
  for (const char* t : kAppraisalTables) {
    if (std::string(t) != "AprHood") {
      EXPECT_EQ(Rows(t, 1), 0) << t;
    }
    EXPECT_EQ(Rows(t, 2), 1) << t;
  }
  dao::Database db = dao::Database::Open(folders().system);
  EXPECT_GT(db.All("Apk01").RecordCount(), 0);
  EXPECT_GT(db.All("TAGTABLE").RecordCount(), 0);
}

TEST_F(Export, DelsyncAbsentOrFalseKeepsTheRows) {
  Generate({"--count", "1"});
  {
    dao::Database db = dao::Database::Open(folders().system);
    dao::Recordset info = db.All("AprInfo");
    info.MoveFirst();
    info.Edit();
    info.Set("DELSYNC", Value::Text(""));
    info.Update();
  }
  ExportAppraisal(1);
  EXPECT_EQ(dir_->InboxFiles().size(), 1u);
  for (const char* t : kAppraisalTables) EXPECT_EQ(Rows(t, 1), 1) << t;
}

TEST_F(Export, SuffixesAndExhaustedNames) {
  Generate({"--count", "3", "--forms", "URAR"});
  for (int id = 1; id <= 3; ++id) Set("AprSubj", id, "FileNumber", Value::Text("77"));
  std::ofstream(Inbox("77.vxa")) << "older";
  ExportAppraisal(1);
  EXPECT_TRUE(std::filesystem::exists(Inbox("77a.vxa")));
  for (char c = 'b'; c <= 'z'; ++c) std::ofstream(Inbox(std::string("77") + c + ".vxa")) << "older";
  ExportAppraisal(2);
  EXPECT_EQ(SyncX(2), "X");  // kept for the next synchronisation
  EXPECT_EQ(ReadFile(Inbox("77z.vxa")), "older");
  EXPECT_NE(dir_->ErrorLog().find("saving appraisal to VXA"), std::string::npos);
  EXPECT_EQ(dir_->InboxFiles().size(), 27u);
}

TEST_F(Export, FileNumberCannotLeaveTheInbox) {
  Generate({"--count", "2", "--forms", "URAR"});
  Set("AprSubj", 1, "FileNumber", Value::Text("../../x"));
  Set("AprSubj", 2, "FileNumber", Value::Text(""));
  ExportAppraisal(1);
  ExportAppraisal(2);
  EXPECT_EQ(dir_->InboxFiles(), (std::vector<std::string>{".._.._x.vxa", ".vxa"}));
  EXPECT_EQ(nb::Profile::Load(Inbox(".._.._x.vxa")).Get("AppraisalData", "FORM_FILE_NUMBER.1"),
            "../../x");
  EXPECT_FALSE(std::filesystem::exists(folders().program + "/x.vxa"));
  EXPECT_FALSE(std::filesystem::exists(folders().program + "/../x.vxa"));
}

// One session over more appraisals than a batch: every file is written once, every
// appraisal's rows leave the tables once its file is in; an AprID marked twice is exported
// once, its second export finding its rows gone.
TEST_F(Export, ASessionAcrossBatchesExportsEachAppraisalOnce) {
  const int count = int(ExportSession::kBatch) + 6;
  Generate({"--count", std::to_string(count), "--delsync"});
  {
    dao::Database db = dao::Database::Open(folders().system);
    ExportSession session(db);
    for (int id = 1; id <= count; ++id) {
      session.Export(int16_t(id));
      if (id == 3) session.Export(3);
    }
  }
  EXPECT_EQ(dir_->InboxFiles().size(), size_t(count));
  for (const char* table : kAppraisalTables) {
    EXPECT_EQ(dao::Database::Open(folders().system).All(table).RecordCount(), 0) << table;
  }
  const std::string log = dir_->ErrorLog();
  EXPECT_NE(log.find(kExportFailedMessage), std::string::npos);
  EXPECT_EQ(log.find(kExportFailedMessage), log.rfind(kExportFailedMessage)) << log;
}

}  // namespace
}  // namespace valtrix
