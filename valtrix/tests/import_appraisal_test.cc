// The import through real appraisal data files and real dBASE tables.
#include <sys/stat.h>

#include <string>

#include "import/import_appraisals.h"
#include "import/reader_lists.h"
#include "import_fixture.h"

namespace valtrix {
namespace {

using testing::Keys;
using testing::Vxa;

class ImportAppraisalTest : public testing::ImportFixture {
 protected:
  // The first text step whose field has this type in its table.
  std::pair<std::string, std::string> TextStepOfType(dao::Field::Type type, size_t reader = 0) {
    dao::Database db = dao::Database::Open(AppFolders().system);
    for (size_t r = reader; r < import::kReaderCount; ++r) {
      const import::ReaderList& list = import::ReaderLists()[r];
      dao::Recordset rs = db.All(std::string(list.table_name));
      for (const import::Step& step : *list.steps) {
        if (step.kind == import::StepKind::kText && rs.HasField(step.field) &&
            rs.GetField(step.field).type == type) {
          return {std::string(list.table_name), step.key};
        }
      }
    }
    ADD_FAILURE() << "no field of that type";
    return {};
  }
};

TEST_F(ImportAppraisalTest, NewAprIDIsOneAboveTheHighestOfAprSubj) {
  MakeTables();
  Put("a.vxa", Vxa("URAR", {}));
  EXPECT_EQ(ImportAppraisal("a.vxa"), 1);
  EXPECT_EQ(ImportAppraisal("a.vxa"), 2);  // the same file twice gives two appraisals
  EXPECT_EQ(RowsInAll(1), 8);
  EXPECT_EQ(RowsInAll(2), 8);

  EXPECT_TRUE(InOutbox("a.vxa"));  // only the loop deletes
}

TEST_F(ImportAppraisalTest, GapsAreNotReusedAndOnlyAprSubjCounts) {
  MakeTables({"--count", "1", "--first-id", "3"});
  {
    dao::Database db = dao::Database::Open(AppFolders().system);
    dao::Recordset subj = db.All("AprSubj");
    subj.AddNew();
    subj.Set("AprID", dao::Value::Number(7));
    subj.Update();
    dao::Recordset hood = db.All("AprHood");
    hood.AddNew();
    hood.Set("AprID", dao::Value::Number(20));
    hood.Update();
  }
  Put("a.vxa", Vxa("URAR", {}));
  EXPECT_EQ(ImportAppraisal("a.vxa"), 8);
  EXPECT_EQ(RowsInAll(8), 8);
}

TEST_F(ImportAppraisalTest, LoopTakesVxaFilesOnlyAndDeletesThem) {
  MakeTables();
  Put("job12.vxa", Vxa("URAR", {{"CITY.1", "Lower"}}));
  Put("JOB13.VXA", Vxa("URAR", {{"CITY.1", "Upper"}}));
  Put("job12.vxa.bak", Vxa("URAR", {{"CITY.1", "Backup"}}));
  Put("commresp.dat", "[Responses]\r\n");
  std::filesystem::create_directory(AppFolders().outbox + "folder.vxa");
  ImportAppraisals();
  EXPECT_FALSE(InOutbox("job12.vxa"));
  EXPECT_FALSE(InOutbox("JOB13.VXA"));
  EXPECT_TRUE(InOutbox("job12.vxa.bak"));
  EXPECT_TRUE(InOutbox("commresp.dat"));
  EXPECT_TRUE(InOutbox("folder.vxa"));
  EXPECT_EQ(Get("AprSubj", 1, "S_CITY").ToText(), "Upper");  // listed by name
  EXPECT_EQ(Get("AprSubj", 2, "S_CITY").ToText(), "Lower");
  EXPECT_EQ(Rows("AprSubj", 3), 0);
  EXPECT_EQ(ErrorLog(), "");
}

TEST_F(ImportAppraisalTest, FormTextAndFileNumber) {
  MakeTables();
  Put("a.vxa", Vxa("1004", {{"FORM_FILE_NUMBER.1", "0123456789"}}));
  Put("b.vxa", Vxa(nullptr, {}));
  Put("c.vxa", Vxa("COND", {}));
  Put("d.vxa", Vxa("704", {}));
  ImportAppraisals();
  EXPECT_EQ(Get("AprSubj", 1, "MajorForm").ToText(), "URAR");
  EXPECT_EQ(Get("AprSubj", 1, "FileNumber").ToText(), "01234567");
  EXPECT_EQ(Get("AprSubj", 2, "MajorForm").ToText(), "URAR");
  EXPECT_EQ(Get("AprSubj", 3, "MajorForm").ToText(), "COND");
  EXPECT_EQ(Get("AprSubj", 4, "MajorForm").ToText(), "704");
  EXPECT_TRUE(Get("AprSubj", 1, "SyncX").ToText().empty());  // not marked for export
}

TEST_F(ImportAppraisalTest, PropertyTypeStepsRunOnlyOnThe704Form) {
  MakeTables();
  const Keys keys = {{"PROJECT_TYPE_PUD_X.1", "X"}, {"PROP_TYPE_CONDO_X.1", "X"}};
  Put("a.vxa", Vxa("704", keys));
  Put("b.vxa", Vxa("URAR", keys));
  Put("c.vxa", Vxa("1004", keys));
  ImportAppraisals();
  EXPECT_EQ(Get("AprSubj", 1, "S_TYPEPUD"), dao::Value::Logical(false));
  EXPECT_EQ(Get("AprSubj", 1, "S_TYPCONDO"), dao::Value::Logical(true));
  for (int id : {2, 3}) {
    EXPECT_EQ(Get("AprSubj", id, "S_TYPEPUD"), dao::Value::Logical(true));
    EXPECT_EQ(Get("AprSubj", id, "S_TYPCONDO"), dao::Value::Logical(false));
  }
}

TEST_F(ImportAppraisalTest, TextAndCheckBoxValues) {
  MakeTables();
  auto [memo_table, memo_key] = TextStepOfType(dao::Field::Type::Memo);
  const std::string city_long(200, 'c');
  Put("a.vxa", Vxa("URAR", {{"SUBJ_PROPERTY_ADDRESS.1", "12 Main St|Apt 4"},
                            {"CITY.1", city_long},
                            {memo_key, std::string(4500, 'm')},
                            {"OCCUPANT_OWNER_X.1", "X"},
                            {"OCCUPANT_TENANT_X.1", "no"},
                            {"OCCUPANT_VACANT_X.1", ""},
                            {"SOURCE_PREVIOUS_APPRAISAL_X.1", "X"},
                            {"CAR_STORAGE_NONE_X.1", "X"},
                            {"FIREPLACE_X.1", "X"},
                            {"CAR_NUMBR_CARPORT.1", "2"},
                            {"UNKNOWN_KEY.1", "ignored"}}));
  ImportAppraisals();
  EXPECT_EQ(Get("AprSubj", 1, "S_ADDRESS").ToText(), "12 Main St\nApt 4");
  dao::Database db = dao::Database::Open(AppFolders().system);
  int city_width = db.All("AprSubj").GetField("S_CITY").Size();
  EXPECT_EQ(Get("AprSubj", 1, "S_CITY").ToText(), city_long.substr(0, city_width));
  EXPECT_EQ(Get(memo_table, 1, "AprID"), dao::Value::Number(1));
  EXPECT_EQ(Get("AprSubj", 1, "S_OCCOWNER"), dao::Value::Logical(true));
  EXPECT_EQ(Get("AprSubj", 1, "S_OCCTENAN"), dao::Value::Logical(true));
  EXPECT_EQ(Get("AprSubj", 1, "S_OCCVACAN"), dao::Value::Logical(false));
  EXPECT_EQ(Get("AprSubj", 1, "S_RIGHTFEE"), dao::Value::Logical(false));  // key missing
  EXPECT_EQ(Get("AprDsc1", 1, "S_PREVAPPR"), dao::Value::Logical(true));
  EXPECT_EQ(Get("AprDsc1", 1, "S_PRIORINS"), dao::Value::Logical(false));
  EXPECT_EQ(Get("AprDsc3", 1, "D_CARNONEX"), dao::Value::Logical(true));
  EXPECT_EQ(Get("AprDsc3", 1, "P_NCNONE"), dao::Value::Logical(true));
  EXPECT_EQ(Get("AprDsc2", 1, "D_FRPLX"), dao::Value::Logical(true));
  EXPECT_EQ(Get("AprDsc3", 1, "D_FRPLX"), dao::Value::Logical(true));
  EXPECT_EQ(Get("AprDsc3", 1, "D_CARPORT").ToText(), "2");
}

TEST_F(ImportAppraisalTest, LongMemoTextIsCutAt3999) {
  MakeTables();
  auto [table, key] = TextStepOfType(dao::Field::Type::Memo);
  std::string field;
  for (const import::ReaderList& list : import::ReaderLists()) {
    for (const import::Step& step : *list.steps) {
      if (list.table_name == table && step.key == key) field = step.field;
    }
  }
  Put("a.vxa", Vxa("URAR", {{key, std::string(4500, 'm')}}));
  ImportAppraisals();
  EXPECT_EQ(Get(table, 1, field).ToText(), std::string(3999, 'm'));
}

TEST_F(ImportAppraisalTest, RoomCountsAreNumbersAndBathsStayEmpty) {
  MakeTables();
  Put("a.vxa", Vxa("URAR", {{"ROOM_BEDROOMS.2", "3"},
                            {"ROOM_REC_RM.-1", "1"},
                            {"ROOM_BATHS.1", "2F1H"},
                            {"ROOM_AREA.1", "000001850"},
                            {"ROOM_LIVING.1", ""}}));
  ImportAppraisals();
  EXPECT_EQ(Get("AprRmCt", 1, "RC2_BED"), dao::Value::Number(3));
  EXPECT_EQ(Get("AprRmCt", 1, "RCB_REC"), dao::Value::Number(1));
  EXPECT_TRUE(Get("AprRmCt", 1, "RC1_LIV").is_null());
  // Nine characters: a cut to the 8 of a number field's size would store 185.
  EXPECT_EQ(Get("AprDsc2", 1, "RC1_AREA"), dao::Value::Number(1850));
  dao::Database db = dao::Database::Open(AppFolders().system);
  dao::Recordset rooms = db.Where("AprRmCt", "AprID", dao::Value::Number(1));
  rooms.MoveFirst();
  int baths = 0;
  for (const dao::Field& f : rooms.Fields()) {
    if (f.name.find("FB") != std::string::npos || f.name.find("HB") != std::string::npos) {
      ++baths;
      EXPECT_TRUE(rooms.Get(f.name).is_null()) << f.name;
    }
  }
  EXPECT_EQ(baths, 8);
}

TEST_F(ImportAppraisalTest, SubjectGoesOnWithoutAField) {
  MakeTables({"--omit", "AprSubj.S_CENSUS"});
  Put("a.vxa", Vxa("URAR", {{"CENSUS_TRACT.1", "0042.01"},
                            {"MAP_REFERENCE.1", "Map 7"},
                            {"SALE_PRICE.1", "250000"},
                            {"PROP_TYPE_2TO4_FAMILY_X.1", "X"}}));
  ImportAppraisals();
  EXPECT_EQ(Get("AprSubj", 1, "S_MAPREF").ToText(), "Map 7");
  EXPECT_EQ(Get("AprSubj", 1, "S_SALEPRIC").ToText(), "250000");
  EXPECT_EQ(Get("AprSubj", 1, "S_TYPE2TO4"), dao::Value::Logical(true));
  EXPECT_EQ(RowsInAll(1), 8);
  EXPECT_EQ(ErrorLog(), "");
}

// a.vxa imports, b.vxa fails, c.vxa is never reached. a.vxa stays: its rows are not on
// their way to the handheld, and the next upload replaces the tables that hold them.
class ImportAppraisalFailure : public ImportAppraisalTest {
 protected:
  void Run(const Keys& bad, const char* form = "URAR") {
    Put("a.vxa", Vxa("URAR", {{"CITY.1", "First"}}));
    Put("b.vxa", Vxa(form, bad));
    Put("c.vxa", Vxa("URAR", {{"CITY.1", "Third"}}));
    std::vector<std::string> imported;
    EXPECT_ANY_THROW(ImportAppraisals(imported));
    EXPECT_EQ(imported, std::vector<std::string>{"a.vxa"});
    EXPECT_TRUE(InOutbox("a.vxa"));
    EXPECT_EQ(Get("AprSubj", 1, "S_CITY").ToText(), "First");
    EXPECT_TRUE(InOutbox("b.vxa"));
    EXPECT_TRUE(InOutbox("c.vxa"));
    EXPECT_EQ(RowsInAll(2), 0);
    EXPECT_EQ(RowsInAll(3), 0);
  }
};

TEST_F(ImportAppraisalFailure, NotANumberNamesFileKeyAndValue) {
  MakeTables();
  Run({{"CITY.1", "Second"}, {"ROOM_BEDROOMS.2", "three"}});
  std::string log = ErrorLog();
  EXPECT_NE(log.find("b.vxa"), std::string::npos) << log;
  EXPECT_NE(log.find("\"ROOM_BEDROOMS.2\""), std::string::npos) << log;
  EXPECT_NE(log.find("\"three\""), std::string::npos) << log;
  EXPECT_NE(log.find("AprRmCt.RC2_BED"), std::string::npos) << log;
  EXPECT_EQ(log.find("a.vxa"), std::string::npos) << log;
}

TEST_F(ImportAppraisalTest, AFieldMissingOutsideTheSubjectStoresNothing) {
  MakeTables({"--omit", "AprDsc1.D_INSOTHX"});  // the last step of ReadDescription1
  Put("a.vxa", Vxa("URAR", {{"CITY.1", "First"}}));
  EXPECT_THROW(ImportAppraisals(), std::runtime_error);
  EXPECT_TRUE(InOutbox("a.vxa"));
  EXPECT_EQ(RowsInAll(1), 0);
  EXPECT_NE(ErrorLog().find("D_INSOTHX"), std::string::npos) << ErrorLog();
}

TEST_F(ImportAppraisalFailure, ANumberTooWideForItsColumnTakesBackTheStoredRows) {
  MakeTables();
  // Refused when AprRmCt's row is written, after three tables have stored theirs. Not cut
  // to the 8 of a number's size, which would store a wrong count.
  Run({{"CITY.1", "Second"}, {"ROOM_BEDROOMS.2", "12345678901234567"}});
  EXPECT_NE(ErrorLog().find("b.vxa"), std::string::npos) << ErrorLog();
  EXPECT_NE(ErrorLog().find("RC2_BED"), std::string::npos) << ErrorLog();
}

TEST_F(ImportAppraisalTest, AprIDOverflowFailsCleanly) {
  MakeTables();
  {
    dao::Database db = dao::Database::Open(AppFolders().system);
    dao::Recordset subj = db.All("AprSubj");
    subj.AddNew();
    subj.Set("AprID", dao::Value::Number(32767));
    subj.Update();
  }
  Put("a.vxa", Vxa("URAR", {}));
  EXPECT_THROW(ImportAppraisals(), std::runtime_error);
  EXPECT_TRUE(InOutbox("a.vxa"));
  EXPECT_EQ(Rows("AprSubj", 32767), 1);
  dao::Database db = dao::Database::Open(AppFolders().system);
  EXPECT_EQ(db.All("AprHood").RecordCount(), 0);
  std::string log = ErrorLog();
  EXPECT_NE(log.find("a.vxa"), std::string::npos) << log;
  EXPECT_NE(log.find("32767"), std::string::npos) << log;
}

// Imported, it would stay and be imported again at every synchronisation.
TEST_F(ImportAppraisalTest, ReadOnlyFileIsNotImportedAndStopsTheLoop) {
  MakeTables();
  Put("a.vxa", Vxa("URAR", {}));
  Put("b.vxa", Vxa("URAR", {}));
  chmod((AppFolders().outbox + "a.vxa").c_str(), 0444);
  EXPECT_THROW(ImportAppraisals(), std::runtime_error);
  EXPECT_TRUE(InOutbox("a.vxa"));
  EXPECT_EQ(RowsInAll(1), 0);
  EXPECT_TRUE(InOutbox("b.vxa"));
  EXPECT_EQ(Rows("AprSubj", 2), 0);
  EXPECT_NE(ErrorLog().find("read-only"), std::string::npos) << ErrorLog();
}

TEST_F(ImportAppraisalTest, AFileThatCannotBeReadIsNoEmptyAppraisal) {
  MakeTables();
  EXPECT_THROW(ImportAppraisal("gone.vxa"), std::runtime_error);
  EXPECT_EQ(RowsInAll(1), 0);
  EXPECT_NE(ErrorLog().find("gone.vxa"), std::string::npos) << ErrorLog();
}

TEST_F(ImportAppraisalTest, TextSavedAsUtf8IsStoredAsWindows1252OrKeptBack) {
  MakeTables();
  Put("a.vxa", Vxa("URAR", {{"CITY.1",
                             "Montr\xC3\xA9"
                             "al \xE2\x80\x93 Est"}}));
  ImportAppraisals();
  EXPECT_EQ(Get("AprSubj", 1, "S_CITY").ToText(),
            "Montr\xE9"
            "al \x96 Est");
  // A character the tables cannot hold: the file waits in the Outbox, nothing stored.
  Put("b.vxa", Vxa("URAR", {{"CITY.1", "Home \xF0\x9F\x8F\xA0"}}));
  EXPECT_THROW(ImportAppraisals(), std::runtime_error);
  EXPECT_TRUE(InOutbox("b.vxa"));
  EXPECT_EQ(RowsInAll(2), 0);
  EXPECT_NE(ErrorLog().find("b.vxa cannot be imported: character U+1F3E0"), std::string::npos)
      << ErrorLog();
}

TEST_F(ImportAppraisalTest, NoDatabaseIsAFailure) {
  Put("a.vxa", Vxa("URAR", {}));
  EXPECT_ANY_THROW(ImportAppraisals());
  EXPECT_TRUE(InOutbox("a.vxa"));
  EXPECT_NE(ErrorLog().find("a.vxa"), std::string::npos);
}

}  // namespace
}  // namespace valtrix
