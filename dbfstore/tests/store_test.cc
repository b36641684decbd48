// Cdbfstore through its holder: the files it writes, what it reads back, its navigation
// and its file-name rule.
#include <gtest/gtest.h>

#include <cstring>

#include "store_test_util.h"

namespace {

using dbftest::Desk;
using dbftest::Field;
using dbftest::Le16;
using dbftest::Le32;
using dbftest::ReadBytes;
using dbftest::Store;

std::vector<FieldDesc> AllTypes() {
  return {Field("NAME", FieldType::Text, 20),       Field("NOTES", FieldType::Text, 300),
          Field("SMALL", FieldType::Number, 9),     Field("BIG", FieldType::Number, 12),
          Field("PRICE", FieldType::Number, 10, 2), Field("DONE", FieldType::Logical, 1),
          Field("DAY", FieldType::Date, 8),         Field("AT", FieldType::Time, 8),
          Field("PHOTO", FieldType::Binary, 0),     Field("STAMP", FieldType::TimeStamp, 19)};
}

void WriteTable(const std::string& path, const std::vector<FieldDesc>& fields,
                const std::vector<std::vector<FieldValue>>& records) {
  auto store = Store();
  for (const FieldDesc& f : fields) ASSERT_TRUE(store->AddField(f));
  ASSERT_TRUE(store->Create(path, false));
  for (const auto& r : records) ASSERT_TRUE(store->AddRecord(r));
  store->Close();
}

std::vector<std::vector<FieldValue>> ReadTable(CNbddb& store) {
  std::vector<std::vector<FieldValue>> out;
  const int n = store.GetRecordCount();
  for (int i = 0; i < n; ++i) {
    EXPECT_EQ(i == 0 ? store.MoveFirst() : store.MoveNext(), NavStatus::Done);
    out.push_back(store.GetRecord());
  }
  return out;
}

const uint8_t kPhoto[] = {0x00, 0x1A, 0x1A, 0xFF, 0x08, 0x0D, 0x20};

std::vector<FieldValue> FullRecord() {
  return {FieldValue::Text("Smith  "),
          FieldValue::Text("line one\nline two"),
          FieldValue::Int32(-12345678),
          FieldValue::Int64(123456789012),
          FieldValue::Double(1234.5),
          FieldValue::Logical(true),
          FieldValue::Date(20240229),
          FieldValue::Time(152611),
          FieldValue::Binary(kPhoto, sizeof kPhoto),
          FieldValue::TimeStamp(PackTimeStamp(2024, 2, 29, 15, 26, 11))};
}

TEST(DbfstoreRoundTrip, EveryTypeReadsBackThroughTheMarker) {
  Desk desk;
  const std::string path = desk.Path("AprInfo.dbf");
  std::vector<FieldValue> nulls(10, FieldValue::Null());
  WriteTable(path, AllTypes(), {FullRecord(), nulls});

  auto store = Store();
  ASSERT_TRUE(store->OpenForRead(path));
  ASSERT_EQ(store->GetFieldCount(), 10);
  const std::vector<FieldDesc>& f = store->GetFields();
  struct Want {
    const char* name;
    uint8_t type;
    uint16_t width;
    uint8_t decimals;
  } want[] = {{"NAME", FieldType::Text, 20, 0},       {"NOTES", FieldType::Text, 32767, 0},
              {"SMALL", FieldType::Number, 9, 0},     {"BIG", FieldType::Number, 12, 0},
              {"PRICE", FieldType::Number, 10, 2},    {"DONE", FieldType::Logical, 1, 0},
              {"DAY", FieldType::Date, 10, 0},        {"AT", FieldType::Time, 8, 0},
              {"PHOTO", FieldType::Binary, 32767, 0}, {"STAMP", FieldType::TimeStamp, 19, 0}};
  for (size_t i = 0; i < 10; ++i) {
    EXPECT_STREQ(f[i].name, want[i].name);
    EXPECT_EQ(f[i].type, want[i].type) << want[i].name;
    EXPECT_EQ(f[i].width, want[i].width) << want[i].name;
    EXPECT_EQ(f[i].decimals, want[i].decimals) << want[i].name;
  }
  auto records = ReadTable(*store);
  ASSERT_EQ(records.size(), 2u);
  const auto& r = records[0];
  ASSERT_EQ(r.size(), 10u);
  EXPECT_EQ(r[0].text_view(), "Smith");
  EXPECT_EQ(r[1].text_view(), "line one\nline two");
  EXPECT_EQ(r[2], FieldValue::Int32(-12345678));
  EXPECT_EQ(r[3], FieldValue::Int64(123456789012));
  EXPECT_EQ(r[4], FieldValue::Double(1234.5));
  EXPECT_EQ(r[5], FieldValue::Logical(true));
  EXPECT_EQ(r[6], FieldValue::Date(20240229));
  EXPECT_EQ(r[7], FieldValue::Time(152611));
  EXPECT_EQ(r[8], FieldValue::Binary(kPhoto, sizeof kPhoto));
  EXPECT_EQ(r[9], FieldValue::TimeStamp(PackTimeStamp(2024, 2, 29, 15, 26, 11)));

  // Nulls: blanks read back as null, except Text (empty), Logical (false) and a null memo
  // text, stored as one zero byte.
  const auto& n = records[1];
  EXPECT_EQ(n[0], FieldValue::Text(""));
  EXPECT_EQ(n[1], FieldValue::Text(""));
  for (int i : {2, 3, 4, 6, 7, 9}) EXPECT_TRUE(n[i].is_null()) << i;
  EXPECT_EQ(n[5], FieldValue::Logical(false));
  EXPECT_EQ(n[8].tag(), FieldTag::Binary);
  EXPECT_EQ(n[8].length(), 0u);
  store->Close();
  EXPECT_EQ(desk.BoxCount(), 0);
}

TEST(DbfstoreFormat, HeaderDescriptorsRecordsAndMemoBytes) {
  Desk desk;
  const std::string path = desk.Path("Layout.DBF");
  WriteTable(path, AllTypes(), {FullRecord()});
  const auto b = ReadBytes(path);
  const size_t header = 32 * 10 + 33, record = 1 + 20 + 10 + 9 + 12 + 10 + 1 + 8 + 8 + 10 + 19;
  ASSERT_EQ(b.size(), header + record + 1);
  EXPECT_EQ(b[0], 0x8B);
  EXPECT_GE(b[2], 1);
  EXPECT_LE(b[2], 12);
  EXPECT_EQ(Le32(b, 4), 1u);
  EXPECT_EQ(Le16(b, 8), header);
  EXPECT_EQ(Le16(b, 10), record);
  const char letters[] = "CMNNNLDCGN";
  for (size_t i = 0; i < 10; ++i) {
    const size_t d = 32 + 32 * i;
    EXPECT_EQ(b[d + 11], uint8_t(letters[i])) << i;
    EXPECT_EQ(Le32(b, d + 12), 0x4E424D00u | AllTypes()[i].type) << i;
  }
  EXPECT_EQ(b[32 + 16], 20);       // C 20
  EXPECT_EQ(b[32 + 32 + 16], 10);  // M 10
  EXPECT_EQ(b[32 + 4 * 32 + 17], 2);
  EXPECT_EQ(b[header - 1], 0x0D);
  const std::string rec(b.begin() + header, b.begin() + header + record);
  EXPECT_EQ(rec.substr(0, 31), " Smith               0000000001");
  EXPECT_EQ(rec.substr(31, 9), "-12345678");
  EXPECT_EQ(rec.substr(40, 12), "123456789012");
  EXPECT_EQ(rec.substr(52, 10), "   1234.50");
  EXPECT_EQ(rec.substr(62, 17), "T2024022915:26:11");
  EXPECT_EQ(rec.substr(79, 10), "0000000002");
  EXPECT_EQ(b.back(), 0x1A);

  const auto m = ReadBytes(desk.Path("Layout.dbt"));
  ASSERT_EQ(m.size(), 3u * 512);
  EXPECT_EQ(Le32(m, 0), 3u);
  EXPECT_EQ(std::string(m.begin() + 8, m.begin() + 14), "Layout");
  EXPECT_EQ(m[14], 0);
  EXPECT_EQ(Le16(m, 18), 0x0102);
  EXPECT_EQ(Le32(m, 20), 512u);
  EXPECT_EQ(Le32(m, 512), 0x0008FFFFu);
  EXPECT_EQ(Le32(m, 516), 17u + 8);
  EXPECT_EQ(std::string(m.begin() + 520, m.begin() + 537), "line one\nline two");
  EXPECT_EQ(Le32(m, 1024 + 4), sizeof kPhoto + 8);
}

TEST(DbfstoreFormat, EdgeWidthsAndMemoBlocks) {
  Desk desk;
  // No fields: each record is the single deletion byte.
  WriteTable(desk.Path("EMPTY.DBF"), {}, {{}, {}});
  auto b = ReadBytes(desk.Path("EMPTY.DBF"));
  EXPECT_EQ(Le16(b, 8), 33);
  EXPECT_EQ(Le16(b, 10), 1);
  EXPECT_EQ(std::string(b.begin() + 33, b.end()), "  \x1A");

  WriteTable(desk.Path("W253.DBF"), {Field("T", FieldType::Text, 253)}, {});
  b = ReadBytes(desk.Path("W253.DBF"));
  EXPECT_EQ(b[0], 0x03);
  EXPECT_EQ(b[43], 'C');
  EXPECT_EQ(b[48], 253);

  // 504 bytes of memo fill one block with its header, 505 need two.
  WriteTable(desk.Path("W254.DBF"), {Field("T", FieldType::Text, 254)},
             {{FieldValue::Text(std::string(504, 'a'))},
              {FieldValue::Text(std::string(505, 'b'))},
              {FieldValue::Text("")}});
  b = ReadBytes(desk.Path("W254.DBF"));
  EXPECT_EQ(b[0], 0x8B);
  EXPECT_EQ(b[43], 'M');
  EXPECT_EQ(b[48], 10);
  EXPECT_EQ(std::string(b.begin() + 65, b.begin() + 98), " 0000000001 0000000002           ");
  const auto m = ReadBytes(desk.Path("W254.dbt"));
  EXPECT_EQ(Le32(m, 0), 4u);
  EXPECT_EQ(m.size(), 4u * 512);

  auto store = Store();
  ASSERT_TRUE(store->OpenForRead(desk.Path("W254.DBF")));
  auto records = ReadTable(*store);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0][0].text_view(), std::string(504, 'a'));
  EXPECT_EQ(records[1][0].text_view(), std::string(505, 'b'));
  EXPECT_TRUE(records[2][0].is_null());
}

TEST(DbfstoreFormat, NumbersFollowTheirFieldLayout) {
  Desk desk;
  const std::string path = desk.Path("NUMS.DBF");
  // The producer's representation does not matter; the field's layout does.
  WriteTable(path,
             {Field("N9", FieldType::Number, 9), Field("N10", FieldType::Number, 10),
              Field("D3", FieldType::Number, 8, 3), Field("N25", FieldType::Number, 25),
              Field("OVER", FieldType::Number, 3)},
             {{FieldValue::Double(42.9), FieldValue::Int32(7), FieldValue::Int64(-2),
               FieldValue::Int64(-123456789012345678), FieldValue::Int32(12345)}});
  const auto b = ReadBytes(path);
  const size_t header = 32 * 5 + 33;
  EXPECT_EQ(b[32 * 4 + 16], 19);  // a Number field is at most 19 wide
  EXPECT_EQ(std::string(b.begin() + header, b.begin() + header + 1 + 9 + 10 + 8 + 19 + 3),
            "        42         7  -2.000-123456789012345678***");
  auto store = Store();
  ASSERT_TRUE(store->OpenForRead(path));
  store->MoveFirst();
  const auto& r = store->GetRecord();
  EXPECT_EQ(r[0], FieldValue::Int32(42));
  EXPECT_EQ(r[1], FieldValue::Int64(7));
  EXPECT_EQ(r[2], FieldValue::Double(-2.0));
  EXPECT_EQ(r[3], FieldValue::Int64(-123456789012345678));
  EXPECT_TRUE(r[4].is_null());  // an overflowed number reads as no value
}

TEST(DbfstoreNavigation, StatusCodesAndRepeatedGetRecord) {
  Desk desk;
  const std::string path = desk.Path("NAV.DBF");
  WriteTable(path, {Field("N", FieldType::Number, 4)},
             {{FieldValue::Int32(1)}, {FieldValue::Int32(2)}, {FieldValue::Int32(3)}});
  WriteTable(desk.Path("NONE.DBF"), {Field("N", FieldType::Number, 4)}, {});

  auto store = Store();
  ASSERT_TRUE(store->Open(path, true));
  EXPECT_EQ(store->GetRecordCount(), 3);
  EXPECT_EQ(store->MoveFirst(), NavStatus::Done);
  EXPECT_EQ(store->MovePrev(), NavStatus::AtFirst);
  EXPECT_EQ(store->GetRecord()[0], FieldValue::Int32(1));
  EXPECT_EQ(store->MoveLast(), NavStatus::Done);
  EXPECT_EQ(store->MoveNext(), NavStatus::AtLast);
  EXPECT_EQ(store->GetRecord()[0], FieldValue::Int32(3));
  EXPECT_EQ(store->MovePrev(), NavStatus::Done);
  const std::vector<FieldValue>& first = store->GetRecord();
  const std::vector<FieldValue> copy = first;
  const std::vector<FieldValue>& second = store->GetRecord();
  EXPECT_EQ(copy, second);
  EXPECT_EQ(second[0], FieldValue::Int32(2));
  store->Close();

  ASSERT_TRUE(store->OpenForRead(desk.Path("NONE.DBF")));
  EXPECT_EQ(store->GetRecordCount(), 0);
  EXPECT_EQ(store->MoveFirst(), NavStatus::NoRecords);
  EXPECT_EQ(store->MoveLast(), NavStatus::NoRecords);
  EXPECT_EQ(store->MoveNext(), NavStatus::NoRecords);
  EXPECT_EQ(store->MovePrev(), NavStatus::NoRecords);
  EXPECT_TRUE(store->GetRecord().empty());
  store->Close();
  // A read-only table is not written back.
  const auto before = ReadBytes(path);
  ASSERT_TRUE(store->OpenForRead(path));
  store->Close();
  EXPECT_EQ(ReadBytes(path), before);
}

TEST(DbfstoreNavigation, DeletedRecordsArePassedOver) {
  Desk desk;
  const std::string path = desk.Path("DEL.DBF");
  WriteTable(path, {Field("N", FieldType::Number, 2)},
             {{FieldValue::Int32(1)},
              {FieldValue::Int32(2)},
              {FieldValue::Int32(3)},
              {FieldValue::Int32(4)}});
  auto b = ReadBytes(path);
  const size_t header = 65, record = 3;
  b[header] = '*';               // 1
  b[header + 2 * record] = '*';  // 3
  dbftest::WriteBytes(path, b);
  auto store = Store();
  ASSERT_TRUE(store->OpenForRead(path));
  EXPECT_EQ(store->GetRecordCount(), 2);
  auto records = ReadTable(*store);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0][0], FieldValue::Int32(2));
  EXPECT_EQ(records[1][0], FieldValue::Int32(4));
  store->Close();

  for (size_t i = 0; i < 4; ++i) b[header + i * record] = '*';
  dbftest::WriteBytes(path, b);
  ASSERT_TRUE(store->OpenForRead(path));
  EXPECT_EQ(store->GetRecordCount(), 0);
  EXPECT_EQ(store->MoveFirst(), NavStatus::Done);
  EXPECT_TRUE(store->GetRecord().empty());
}

TEST(DbfstoreFileNames, RuleAndCanonicalNames) {
  Desk desk;
  auto store = Store();
  EXPECT_EQ(store->MakeFileName("cust tbl", "DBF"), "CUST_TBL.DBF");
  EXPECT_EQ(store->MakeFileName("a.b-c*defgh", "DBF"), "A_B0C0DE.DBF");
  EXPECT_FALSE(store->IsValidFileName("cust tbl", "DBF", false));
  EXPECT_FALSE(store->IsValidFileName("Customers.dbf", "DBF", false));
  EXPECT_TRUE(store->IsValidFileName("customer.DBF", "DBF", false));
  EXPECT_TRUE(store->IsValidFileName("CUST_TBL", "DBF", false));
  EXPECT_TRUE(store->IsValidFileName("cust_tbl.dbf", "dbf", false));
  EXPECT_FALSE(store->IsValidFileName(".DBF", "DBF", false));
  EXPECT_EQ(desk.BoxCount(), 0);
  EXPECT_FALSE(store->IsValidFileName("", "DBF", true));
  EXPECT_EQ(desk.BoxCount(), 0);
  EXPECT_FALSE(store->IsValidFileName("CUSTOMERS", "DBF", true));
  EXPECT_EQ(desk.BoxCount(), 1);
  EXPECT_TRUE(desk.Shown(
      "Error: table filenames must be at most 8 characters long and must only contain the "
      "characters A-Z, the digits 0-9 and underscores (\"_\").\n\nFor example:\n\n    "
      "CUSTOMER (good)\n    CUST_TBL (good)\n    CUST TBL (bad - spaces not valid)\n    "
      "CUSTOMERS (bad - 'CUSTOMERS' is too long)\n"));
  EXPECT_EQ(store->GetFilterText(), "dBase V (*.dbf)");
  EXPECT_EQ(store->GetExtension(), "DBF");
  EXPECT_FALSE(store->QueryStoreFlag());
}

TEST(DbfstoreLifecycle, ResetOpenFailuresAndWindowsPaths) {
  Desk desk;
  auto store = Store();
  EXPECT_FALSE(store->Open(desk.Path("missing.dbf"), true));
  EXPECT_EQ(desk.BoxCount(), 0);
  EXPECT_FALSE(store->OpenForRead(desk.Path("missing.dbf")));
  EXPECT_TRUE(desk.Shown("Error: could not open dBase file \"" + desk.Path("missing.dbf") + "\"."));

  // A Windows path is mapped below the prefix.
  std::filesystem::create_directories(desk.Path("drive_c/Data"));
  store->AddField(dbftest::Field("A", FieldType::Text, 3));
  ASSERT_TRUE(store->Create("C:\\Data\\T.dbf", false));
  ASSERT_TRUE(store->AddRecord({FieldValue::Text("abc")}));
  store->Close();
  EXPECT_EQ(ReadBytes(desk.Path("drive_c/Data/T.dbf")).size(), 65u + 4 + 1);

  store->Reset();
  EXPECT_EQ(store->GetFieldCount(), 0);
  ASSERT_TRUE(store->Open("C:\\Data\\T.dbf", true));
  EXPECT_EQ(store->GetFieldCount(), 1);
  EXPECT_FALSE(store->AddRecord({FieldValue::Text("no")}));  // read-only
  store->Close();

  // Opened for writing and closed untouched, the file stays as it was.
  const auto before = ReadBytes(desk.Path("drive_c/Data/T.dbf"));
  ASSERT_TRUE(store->Open("C:\\Data\\T.dbf", false));
  store->Close();
  EXPECT_EQ(ReadBytes(desk.Path("drive_c/Data/T.dbf")), before);
  // Appending to it continues the table instead of writing after its end byte.
  ASSERT_TRUE(store->Open("C:\\Data\\T.dbf", false));
  ASSERT_TRUE(store->AddRecord({FieldValue::Text("def")}));
  store->Close();
  ASSERT_TRUE(store->OpenForRead("C:\\Data\\T.dbf"));
  ASSERT_EQ(store->GetRecordCount(), 2);
  store->MoveLast();
  EXPECT_EQ(store->GetRecord()[0].text_view(), "def");
  store->Close();
}

// Each record's texts are whole C strings whatever the record before held in the column.
TEST(DbfstoreNavigation, TextsOfEachRecordStandAlone) {
  Desk desk;
  const std::string path = desk.Path("Names.dbf");
  const char* names[] = {"a rather long name", "Al", "", "Bob Smith", "a rather long name!"};
  std::vector<std::vector<FieldValue>> rows;
  for (const char* name : names)
    rows.push_back({FieldValue::Text(name), FieldValue::Text(std::string(name) + " (memo)")});
  WriteTable(path, {Field("NAME", FieldType::Text, 20), Field("NOTES", FieldType::Text, 300)},
             rows);
  auto store = Store();
  ASSERT_TRUE(store->OpenForRead(path));
  for (size_t i = 0; i < std::size(names); ++i) {
    ASSERT_EQ(i == 0 ? store->MoveFirst() : store->MoveNext(), NavStatus::Done);
    const std::vector<FieldValue>& r = store->GetRecord();
    ASSERT_EQ(r.size(), 2u);
    EXPECT_STREQ(r[0].text(), names[i]);
    EXPECT_EQ(r[0].length(), std::strlen(names[i]));
    EXPECT_EQ(r[1].text_view(), std::string(names[i]) + " (memo)");
  }
  store->Close();
}

}  // namespace
