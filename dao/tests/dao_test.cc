// The data-access layer over real dBASE files: selections, positioning, conversions on
// assignment, in-place edits, appends and deletion marks, read back by the dBASE layer
// and by the dBASE store plug-in.
#include "dao/dao.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "dbase/table.h"
#include "nbddb/plugin.h"
#include "test_files.h"
#include "test_prefix.h"

namespace {

using dao::Value;
using nb::testing::TempPrefix;

FieldDesc Desc(const char* name, uint8_t type, uint16_t width, uint8_t decimals = 0) {
  FieldDesc d;
  d.SetName(name);
  d.type = type;
  d.width = width;
  d.decimals = decimals;
  return d;
}

using nb::testing::Slurp;
class DaoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // AprSubj: AprID N(5), SyncX C(1), FileNumber C(8), Notes memo, Done L, Visit D, Area N(8,2)
    dbase::Table t;
    ASSERT_TRUE(
        t.Create(path_, {Desc("AprID", FieldType::Number, 5), Desc("SyncX", FieldType::Text, 1),
                         Desc("FileNumber", FieldType::Text, 8),
                         Desc("Notes", FieldType::Text, 1000), Desc("Done", FieldType::Logical, 1),
                         Desc("Visit", FieldType::Date, 8), Desc("Area", FieldType::Number, 8, 2)}))
        << t.error();
    Row(t, 3, "X", "123", "first", true, 20261206, 1500.5);
    Row(t, 7, "", "ABC", "", false, 0, 0);
    Row(t, 5, "x", "J-5", "third", false, 20250101, 99.25);
    ASSERT_TRUE(t.Close());
  }

  static void Row(dbase::Table& t, int id, const char* sync, const char* file, const char* notes,
                  bool done, int date, double area) {
    ASSERT_TRUE(
        t.AppendRecord({FieldValue::Int32(id), FieldValue::Text(sync), FieldValue::Text(file),
                        FieldValue::Text(notes), FieldValue::Logical(done),
                        date ? FieldValue::Date(date) : FieldValue::Null(),
                        area ? FieldValue::Double(area) : FieldValue::Null()}));
  }

  TempPrefix prefix_;
  std::string folder_ = prefix_.path();
  std::string path_ = folder_ + "/APRSUBJ.DBF";
};

TEST_F(DaoTest, TablesAndFieldsAreFoundWithoutRegardToCase) {
  EXPECT_THROW(dao::Database::Open(folder_ + "/missing"), dao::Error);
  dao::Database db = dao::Database::Open(folder_);
  EXPECT_TRUE(db.HasTable("AprSubj"));
  EXPECT_FALSE(db.HasTable("AprHood"));
  try {
    db.All("AprHood");
    FAIL();
  } catch (const dao::Error& e) {
    EXPECT_NE(std::string(e.what()).find("AprHood"), std::string::npos);
  }
  dao::Recordset rs = db.All("aprsubj");
  EXPECT_EQ(rs.RecordCount(), 3);
  EXPECT_EQ(rs.Get("FILENUMBER").text(), "123");
  EXPECT_EQ(rs.GetField("Notes").Size(), 0);
  EXPECT_EQ(rs.GetField("FileNumber").Size(), 8);
  EXPECT_EQ(rs.GetField("AprID").Size(), 8);
  EXPECT_THROW(rs.Get("NoSuch"), dao::Error);
}

TEST_F(DaoTest, SelectionsPositioningAndMax) {
  dao::Database db = dao::Database::Open(folder_);
  // Text compares without regard to case, as the driver does: "X" and "x" are marked.
  dao::Recordset marked = db.Where("AprSubj", "SyncX", Value::Text("X"));
  std::vector<int> ids;
  for (marked.MoveFirst(); !marked.IsEOF(); marked.MoveNext())
    ids.push_back(marked.Get("AprID").ToInt());
  EXPECT_EQ(ids, (std::vector<int>{3, 5}));
  EXPECT_THROW(marked.MoveNext(), dao::Error);

  dao::Recordset by_id = db.Where("AprSubj", "APRID", Value::Number(7));
  by_id.MoveLast();
  EXPECT_EQ(by_id.Get("FileNumber").text(), "ABC");
  EXPECT_TRUE(by_id.Get("Visit").is_null());
  EXPECT_TRUE(by_id.Get("Area").is_null());
  EXPECT_FALSE(by_id.Get("Done").logical());
  EXPECT_EQ(by_id.Get("Notes").ToText(), "");

  dao::Recordset none = db.Where("AprSubj", "AprID", Value::Number(12));
  EXPECT_TRUE(none.IsBOF());
  EXPECT_TRUE(none.IsEOF());
  EXPECT_THROW(none.MoveLast(), dao::Error);
  EXPECT_THROW(none.Get("AprID"), dao::Error);
  EXPECT_TRUE(db.Where("AprSubj", "Visit", Value()).IsEOF());

  EXPECT_EQ(db.Max("AprSubj", "AprID"), Value::Number(7));
  EXPECT_THROW(db.Max("AprSubj", "SyncX"), dao::Error);
}

TEST_F(DaoTest, EditUpdatesInPlaceAndDeleteMarksTheRow) {
  {
    dao::Database db = dao::Database::Open(folder_);
    dao::Recordset rs = db.Where("AprSubj", "AprID", Value::Number(5));
    rs.MoveLast();
    rs.Edit();
    rs.Set("SyncX", Value::Text(""));
    rs.Set("Notes", Value::Text(std::string(3000, 'n')));
    rs.Set("Area", Value::Text("2150.75"));
    rs.Set("Done", Value());
    rs.Update();
    EXPECT_EQ(rs.Get("Area"), Value::Number(2150.75));
    // A logical without a value stays without one; the other rows keep theirs.
    EXPECT_TRUE(rs.Get("Done").is_null());
    dao::Recordset done = db.Where("AprSubj", "Done", Value::Logical(true));
    EXPECT_EQ(done.RecordCount(), 1);

    dao::Recordset first = db.Where("AprSubj", "AprID", Value::Number(3));
    first.MoveFirst();
    first.Delete();
    EXPECT_THROW(first.Get("AprID"), dao::Error);
    EXPECT_EQ(db.All("AprSubj").RecordCount(), 2);
    EXPECT_EQ(db.Max("AprSubj", "AprID"), Value::Number(7));
  }
  // The dBASE layer sees the same file: a deletion mark, the row's place kept.
  dbase::Table t;
  ASSERT_TRUE(t.Open(path_, false));
  ASSERT_EQ(t.record_count(), 3u);
  std::vector<FieldValue> values;
  bool deleted = false;
  ASSERT_TRUE(t.ReadRecord(0, &values, &deleted));
  EXPECT_TRUE(deleted);
  ASSERT_TRUE(t.ReadRecord(2, &values, &deleted));
  EXPECT_FALSE(deleted);
  EXPECT_EQ(values[1].text_view(), "");
  EXPECT_EQ(values[3].text_view(), std::string(3000, 'n'));
  EXPECT_DOUBLE_EQ(values[6].AsDouble(), 2150.75);
}

TEST_F(DaoTest, AddNewAppendsOnUpdateAndAPendingRowIsDiscarded) {
  std::string before = Slurp(path_);
  {
    dao::Database db = dao::Database::Open(folder_);
    dao::Recordset rs = db.All("AprSubj");
    rs.AddNew();
    rs.Set("AprID", Value::Number(8));
    rs.Set("FileNumber", Value::Text("lost"));
    // Closing with a row pending stores nothing.
  }
  EXPECT_EQ(Slurp(path_), before);

  dao::Database db = dao::Database::Open(folder_);
  dao::Recordset rs = db.All("AprSubj");
  rs.AddNew();
  rs.Set("AprID", Value::Text("8"));
  rs.Set("FileNumber", Value::Text("new"));
  rs.Set("Done", Value::Logical(true));
  rs.Set("Visit", Value::Text("12/6/2026"));
  rs.Set("Area", Value::Text(""));
  rs.Update();
  dao::Recordset added = db.Where("AprSubj", "AprID", Value::Number(8));
  added.MoveFirst();
  EXPECT_EQ(added.Get("FileNumber").text(), "new");
  EXPECT_TRUE(added.Get("Done").logical());
  EXPECT_EQ(added.Get("Visit"), Value::Date(20261206));
  EXPECT_EQ(added.Get("Visit").ToText(), "12/6/2026");
  EXPECT_TRUE(added.Get("Area").is_null());
  EXPECT_TRUE(added.Get("SyncX").text().empty());
}

TEST_F(DaoTest, ValuesAFieldCannotTakeAreRefusedWithTheirNames) {
  dao::Database db = dao::Database::Open(folder_);
  dao::Recordset rs = db.All("AprSubj");
  rs.AddNew();
  auto refused = [&](const char* field, const Value& v, const char* part) {
    try {
      rs.Set(field, v);
      ADD_FAILURE() << field << " took " << v.ToText();
    } catch (const dao::Error& e) {
      EXPECT_NE(std::string(e.what()).find(part), std::string::npos) << e.what();
    }
  };
  refused("AprID", Value::Text("three"), "three");
  refused("AprID", Value::Text("0x10"), "AprID");
  refused("Visit", Value::Text("31/31/2026"), "Visit");
  refused("FileNumber", Value::Text("123456789"), "FileNumber");
  refused("Done", Value::Text("maybe"), "maybe");
  rs.Set("AprID", Value::Number(123456));  // wider than N(5): refused when stored
  EXPECT_THROW(rs.Update(), dao::Error);
  rs.CancelUpdate();
  EXPECT_EQ(db.All("AprSubj").RecordCount(), 3);
}

TEST_F(DaoTest, WhatItWritesTheStorePluginReadsBack) {
  {
    dao::Database db = dao::Database::Open(folder_);
    dao::Recordset rs = db.Where("AprSubj", "AprID", Value::Number(7));
    rs.MoveFirst();
    rs.Edit();
    rs.Set("Notes", Value::Text("two\nlines"));
    rs.Set("Visit", Value::Date(19991231));
    rs.Update();
  }
  CNbddbPlugin store(NB_BIN_DIR "/dbfstore.so");
  ASSERT_TRUE(store.OpenForRead(path_));
  ASSERT_EQ(store.GetRecordCount(), 3);
  store.MoveFirst();
  store.MoveNext();
  const std::vector<FieldValue>& row = store.GetRecord();
  ASSERT_EQ(row.size(), 7u);
  EXPECT_EQ(row[0].AsInt64(), 7);
  EXPECT_EQ(row[3].text_view(), "two\nlines");
  EXPECT_EQ(row[5].date(), 19991231);
  store.Close();
}

}  // namespace

// One Database keeps its tables open: its selections by number see its own edits,
// deletions and appends, and every row of a key, in file order.
TEST_F(DaoTest, SelectionsByNumberFollowTheDatabasesOwnChanges) {
  dao::Database db = dao::Database::Open(folder_);
  auto ids = [&](double id) {
    std::vector<std::string> files;
    dao::Recordset rs = db.Where("AprSubj", "AprID", Value::Number(id));
    for (; !rs.IsEOF(); rs.MoveNext()) files.push_back(rs.Get("FileNumber").text());
    return files;
  };
  EXPECT_EQ(ids(7), std::vector<std::string>{"ABC"});
  EXPECT_TRUE(ids(4).empty());
  EXPECT_EQ(ids(5.0), std::vector<std::string>{"J-5"});
  EXPECT_TRUE(db.Where("AprSubj", "AprID", Value::Text("")).IsEOF());

  dao::Recordset seven = db.Where("AprSubj", "AprID", Value::Number(7));
  seven.Edit();
  seven.Set("AprID", Value::Number(5));
  seven.Update();
  EXPECT_TRUE(ids(7).empty());
  EXPECT_EQ(ids(5), (std::vector<std::string>{"ABC", "J-5"}));

  dao::Recordset add = db.Empty("AprSubj");
  add.AddNew();
  add.Set("AprID", Value::Number(5));
  add.Set("FileNumber", Value::Text("NEW"));
  add.Update();
  dao::Recordset three = db.Where("AprSubj", "AprID", Value::Text("3"));
  three.MoveFirst();
  three.Delete();
  EXPECT_EQ(ids(5), (std::vector<std::string>{"ABC", "J-5", "NEW"}));
  EXPECT_TRUE(ids(3).empty());

  // What another Database reads from the file agrees.
  dao::Database fresh = dao::Database::Open(folder_);
  dao::Recordset rs = fresh.Where("AprSubj", "AprID", Value::Number(5));
  EXPECT_EQ(rs.RecordCount(), 3);
  EXPECT_EQ(fresh.Max("AprSubj", "AprID"), Value::Number(5));
}
