// Files the store did not write: another program's dBASE III table with its memo file,
// and damaged files. Built byte by byte.
#include <gtest/gtest.h>

#include <cstring>

#include "store_test_util.h"

namespace {

using dbftest::Desk;
using dbftest::Store;

struct Col {
  const char* name;
  char letter;
  uint8_t length;
  uint8_t decimals = 0;
  uint32_t marker = 0;
};

// A table file: header, descriptors, 0x0D (+ `pad` bytes), then the records as given.
std::vector<uint8_t> TableBytes(uint8_t version, const std::vector<Col>& cols,
                                const std::vector<std::string>& records, size_t pad = 0,
                                int count = -1, int header_length = -1, int record_length = -1) {
  size_t reclen = 1;
  for (const Col& c : cols) reclen += c.length;
  std::vector<uint8_t> b(32, 0);
  b[0] = version;
  b[1] = 99;
  b[2] = 12;
  b[3] = 31;
  const uint32_t n = count < 0 ? uint32_t(records.size()) : uint32_t(count);
  std::memcpy(&b[4], &n, 4);
  const uint16_t h = header_length < 0 ? uint16_t(32 * cols.size() + 33 + pad) : header_length;
  std::memcpy(&b[8], &h, 2);
  const uint16_t r = record_length < 0 ? uint16_t(reclen) : record_length;
  std::memcpy(&b[10], &r, 2);
  for (const Col& c : cols) {
    uint8_t d[32] = {};
    std::memcpy(d, c.name, std::strlen(c.name));
    d[11] = uint8_t(c.letter);
    std::memcpy(d + 12, &c.marker, 4);
    d[16] = c.length;
    d[17] = c.decimals;
    b.insert(b.end(), d, d + 32);
  }
  b.push_back(0x0D);
  b.insert(b.end(), pad, 0);
  for (const std::string& rec : records) b.insert(b.end(), rec.begin(), rec.end());
  return b;
}

std::vector<uint8_t> Block(const std::string& data) {
  std::vector<uint8_t> b(data.begin(), data.end());
  b.resize((b.size() + 511) / 512 * 512, 0);
  return b;
}

// A field's text, left-aligned or right-aligned in its width.
std::string L(const std::string& text, size_t width) {
  return text + std::string(width - text.size(), ' ');
}
std::string R(const std::string& text, size_t width) {
  return std::string(width - text.size(), ' ') + text;
}

std::vector<FieldValue> First(CNbddb& store) {
  EXPECT_EQ(store.MoveFirst(), NavStatus::Done);
  return store.GetRecord();
}

TEST(DbfstoreForeign, DbaseThreeTableWithMemos) {
  Desk desk;
  const std::vector<Col> cols = {{"NAME", 'C', 10}, {"QTY", 'N', 5},   {"PRICE", 'N', 8, 2},
                                 {"AT", 'C', 8},    {"MEMO", 'M', 10}, {"OK", 'L', 1},
                                 {"DAY", 'D', 8},   {"BIG", 'N', 12}};
  const std::string rec1 = " " + L("Jo\r\nnes", 10) + R("42", 5) + R("3.50", 8) + L("15:26:11", 8) +
                           "0000000001" + "t" + "19991231" + R("123456789012", 12);
  const std::string rec2 = "*" + L("Gone", 10) + R("1", 5) + R("0.00", 8) + L("", 8) +
                           "0000000002" + "T" + "20000101" + L("", 12);
  const std::string rec3 = " " + L("Last", 10) + R("-7", 5) + L("", 8) + L("08:00:00", 8) +
                           "0000000003" + "T" + L("", 8) + R("0", 12);
  dbftest::WriteBytes(desk.Path("OTHER.DBF"), TableBytes(0x83, cols, {rec1, rec2, rec3}, 1));
  std::vector<uint8_t> memo(512, 0);
  memo[0] = 5;
  memo[16] = 0x03;
  for (const std::string& entry :
       {std::string("first memo\r\nline\x1A\x1A"), std::string("has \x1A inside\x1A\x1A")}) {
    auto b = Block(entry);
    memo.insert(memo.end(), b.begin(), b.end());
  }
  const std::string last = "ends at the file's end\x1A";
  memo.insert(memo.end(), last.begin(), last.end());
  dbftest::WriteBytes(desk.Path("OTHER.DBT"), memo);

  auto store = Store();
  ASSERT_TRUE(store->OpenForRead(desk.Path("OTHER.DBF")));
  ASSERT_EQ(store->GetFieldCount(), 8);
  const auto& f = store->GetFields();
  EXPECT_EQ(f[3].type, FieldType::Text);    // no marker: a C column is text
  EXPECT_EQ(f[7].type, FieldType::Number);  // and an N column a number
  EXPECT_EQ(f[4].type, FieldType::Text);
  EXPECT_EQ(f[4].width, 32767);
  EXPECT_EQ(f[2].decimals, 2);
  EXPECT_EQ(store->GetRecordCount(), 2);

  auto r = First(*store);
  ASSERT_EQ(r.size(), 8u);
  EXPECT_EQ(r[0].text_view(), "Jo\nnes");
  EXPECT_EQ(r[1], FieldValue::Int32(42));
  EXPECT_EQ(r[2], FieldValue::Double(3.5));
  EXPECT_EQ(r[3].text_view(), "15:26:11");
  EXPECT_EQ(r[4].text_view(), "first memo\r\nline");
  EXPECT_EQ(r[5], FieldValue::Logical(false));  // only an upper-case T is true
  EXPECT_EQ(r[6], FieldValue::Date(19991231));
  EXPECT_EQ(r[7], FieldValue::Int64(123456789012));

  ASSERT_EQ(store->MoveNext(), NavStatus::Done);
  r = store->GetRecord();  // passes over the deleted second record
  EXPECT_EQ(r[0].text_view(), "Last");
  EXPECT_EQ(r[1], FieldValue::Int32(-7));
  EXPECT_TRUE(r[2].is_null());
  EXPECT_EQ(r[4].text_view(), "ends at the file's end");
  EXPECT_TRUE(r[6].is_null());
  EXPECT_EQ(r[7], FieldValue::Int64(0));
  EXPECT_EQ(store->MoveNext(), NavStatus::AtLast);

  // The deleted record's memo: a single 0x1A followed by more text is data.
  store->Close();
  auto b = dbftest::ReadBytes(desk.Path("OTHER.DBF"));
  b[32 * 8 + 34 + rec1.size()] = ' ';
  dbftest::WriteBytes(desk.Path("OTHER.DBF"), b);
  ASSERT_TRUE(store->OpenForRead(desk.Path("OTHER.DBF")));
  store->MoveFirst();
  store->MoveNext();
  EXPECT_EQ(store->GetRecord()[4].text_view(), "has \x1A inside");
  EXPECT_EQ(desk.BoxCount(), 0);
}

TEST(DbfstoreForeign, EmptyDbaseThreeMemoEntry) {
  Desk desk;
  // Another writer gives an empty memo text an entry of its own: just the end bytes.
  dbftest::WriteBytes(desk.Path("E.DBF"), TableBytes(0x83, {{"MEMO", 'M', 10}}, {" 0000000001"}));
  std::vector<uint8_t> memo(512, 0);
  memo[0] = 2;
  memo[16] = 0x03;
  auto entry = Block("\x1A\x1A");
  memo.insert(memo.end(), entry.begin(), entry.end());
  dbftest::WriteBytes(desk.Path("E.DBT"), memo);
  auto store = Store();
  ASSERT_TRUE(store->OpenForRead(desk.Path("E.DBF")));
  EXPECT_EQ(First(*store)[0].text_view(), "");
  EXPECT_EQ(desk.BoxCount(), 0);
}

TEST(DbfstoreForeign, DamagedHeadersFailClearly) {
  Desk desk;
  const std::vector<Col> cols = {{"A", 'C', 4}, {"B", 'N', 3}};
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"EMPTY.DBF", {}},
      {"SHORT.DBF", std::vector<uint8_t>(20, 0x03)},
      {"BEYOND.DBF", TableBytes(0x03, cols, {" abcd  1"}, 0, -1, 4000)},
      // Five descriptors announced, two present: the header runs past the file's end.
      {"NOFIT.DBF", TableBytes(0x03, cols, {}, 0, 0, 32 * 5 + 33)},
      {"TINY.DBF", TableBytes(0x03, cols, {}, 0, 0, 20)},
      {"RECLEN.DBF", TableBytes(0x03, cols, {" abcd  1"}, 0, -1, -1, 5)},
      {"RECLEN0.DBF", TableBytes(0x03, {}, {}, 0, 0, -1, 0)},
  };
  auto store = Store();
  int boxes = 0;
  for (const Case& c : cases) {
    dbftest::WriteBytes(desk.Path(c.name), c.bytes);
    EXPECT_FALSE(store->Open(desk.Path(c.name), true)) << c.name;
    EXPECT_EQ(desk.BoxCount(), boxes) << c.name;
    EXPECT_FALSE(store->OpenForRead(desk.Path(c.name))) << c.name;
    EXPECT_EQ(desk.BoxCount(), ++boxes) << c.name;
    EXPECT_TRUE(desk.Shown("Error: could not open dBase file \"" + desk.Path(c.name) + "\"."));
    EXPECT_EQ(store->GetFieldCount(), 0) << c.name;
    EXPECT_EQ(store->MoveFirst(), NavStatus::NoRecords);
    EXPECT_TRUE(store->GetRecord().empty());
    EXPECT_EQ(c.bytes, dbftest::ReadBytes(desk.Path(c.name))) << c.name;
  }
}

TEST(DbfstoreForeign, ShortFilesAndBadMemosKeepOneValuePerField) {
  Desk desk;
  const std::vector<Col> cols = {{"A", 'C', 4}, {"M", 'M', 10}, {"G", 'G', 10}};
  // Ten records announced, two and a half present; the last lacks only its final byte.
  std::string records = " abcd0000000099          ";
  records += " efgh00000000010000000002";
  records += " ijkl0000000003000000000";
  dbftest::WriteBytes(desk.Path("T.DBF"), TableBytes(0x8B, cols, {records}, 0, 10));
  std::vector<uint8_t> memo(512, 0);
  memo[0] = 4;
  memo[20] = 0x00;
  memo[21] = 0x02;  // 512
  // Block 1: a tagged entry that claims 1000 bytes of which 12 are present at block 3.
  auto wrong = Block("no tag here");
  memo.insert(memo.end(), wrong.begin(), wrong.end());
  auto ok = Block(std::string("\xFF\xFF\x08\x00\x10\x00\x00\x00", 8) + "binary!!");
  memo.insert(memo.end(), ok.begin(), ok.end());
  const std::string cut = std::string("\xFF\xFF\x08\x00\xF0\x03\x00\x00", 8) + "truncated...";
  memo.insert(memo.end(), cut.begin(), cut.end());
  dbftest::WriteBytes(desk.Path("T.dbt"), memo);

  auto store = Store();
  ASSERT_TRUE(store->OpenForRead(desk.Path("T.DBF")));
  EXPECT_EQ(store->GetRecordCount(), 3);
  auto r = First(*store);
  ASSERT_EQ(r.size(), 3u);
  EXPECT_TRUE(r[1].is_null());  // block 99 lies beyond the memo file
  EXPECT_EQ(r[2].tag(), FieldTag::Binary);
  EXPECT_EQ(r[2].length(), 0u);
  store->MoveNext();
  r = store->GetRecord();
  EXPECT_TRUE(r[1].is_null());  // the entry lacks FF FF 08 00
  EXPECT_EQ(r[2], FieldValue::Binary("binary!!", 8));
  EXPECT_EQ(store->MoveLast(), NavStatus::Done);
  r = store->GetRecord();
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0].text_view(), "ijkl");
  EXPECT_EQ(r[1].text_view(), "truncated...");  // the bytes that are there
  EXPECT_EQ(store->MoveNext(), NavStatus::AtLast);
  EXPECT_EQ(desk.BoxCount(), 0);

  // The memo file is missing altogether.
  std::filesystem::remove(desk.Path("T.dbt"));
  ASSERT_TRUE(store->OpenForRead(desk.Path("T.DBF")));
  store->MoveLast();
  r = store->GetRecord();
  ASSERT_EQ(r.size(), 3u);
  EXPECT_TRUE(r[1].is_null());
}

TEST(DbfstoreForeign, UnknownColumnsAndBadTimes) {
  Desk desk;
  const std::vector<Col> cols = {
      {"F", 'F', 6}, {"T", 'C', 8, 0, 0x4E424D04}, {"S", 'N', 19, 0, 0x4E424D06}};
  dbftest::WriteBytes(desk.Path("U.DBF"), TableBytes(0x03, cols,
                                                     {" 1.5000ab:cd:ef              12345",
                                                      " 2.5000 3:26 PM                  "}));
  auto store = Store();
  ASSERT_TRUE(store->OpenForRead(desk.Path("U.DBF")));
  EXPECT_EQ(store->GetFields()[0].type, FieldType::Unset);
  EXPECT_EQ(store->GetFields()[1].type, FieldType::Time);
  EXPECT_EQ(store->GetFields()[2].type, FieldType::TimeStamp);
  auto r = First(*store);
  ASSERT_EQ(r.size(), 3u);
  EXPECT_TRUE(r[0].is_null());
  EXPECT_TRUE(r[1].is_null());
  EXPECT_EQ(r[2], FieldValue::TimeStamp(12345));
  store->MoveNext();
  r = store->GetRecord();
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[1], FieldValue::Time(152600));
  EXPECT_TRUE(r[2].is_null());
  // Reported once for the table, not once per record.
  EXPECT_EQ(desk.BoxCount(), 1);
  EXPECT_TRUE(desk.Shown("Nimbra DLL Error 2001: Unknown type in Cdbfstore::AddValue"));
}

}  // namespace
