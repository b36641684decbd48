// pdbdevice.so between dbfstore tables and handheld table files, loaded as the conduit
// loads both.
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>

#include "device_fixture.h"
#include "strict_pdb.h"

namespace pdbdevice::testing {
namespace {

std::vector<uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

// Marks the dBASE record at index as deleted, as another program would.
void DeleteDbfRecord(const std::string& path, size_t index) {
  auto b = ReadFile(path);
  const size_t header = size_t(b[8] | b[9] << 8), length = size_t(b[10] | b[11] << 8);
  b.at(header + index * length) = '*';
  WriteFile(path, b);
}

void ExpectSameTables(const Table& a, const Table& b) {
  ASSERT_EQ(a.fields.size(), b.fields.size());
  for (size_t i = 0; i < a.fields.size(); ++i) {
    EXPECT_STREQ(a.fields[i].name, b.fields[i].name);
    EXPECT_EQ(a.fields[i].type, b.fields[i].type) << a.fields[i].name;
    EXPECT_EQ(a.fields[i].width, b.fields[i].width) << a.fields[i].name;
    EXPECT_EQ(a.fields[i].decimals, b.fields[i].decimals) << a.fields[i].name;
  }
  ASSERT_EQ(a.records.size(), b.records.size());
  for (size_t r = 0; r < a.records.size(); ++r) {
    ASSERT_EQ(a.records[r].size(), b.records[r].size());
    for (size_t f = 0; f < a.records[r].size(); ++f) {
      // dbfstore reads a null memo text as "" and stores "" as no memo at all, so an empty
      // memo text comes back as null whatever carries it.
      const bool memo = a.fields[f].type == FieldType::Text && a.fields[f].width >= 254;
      if (memo && a.records[r][f].tag() == FieldTag::Text && a.records[r][f].length() == 0 &&
          b.records[r][f].is_null()) {
        continue;
      }
      EXPECT_TRUE(a.records[r][f] == b.records[r][f])
          << "record " << r << " field " << f << ": tags " << int(a.records[r][f].tag()) << "/"
          << int(b.records[r][f].tag()) << ", lengths " << a.records[r][f].length() << "/"
          << b.records[r][f].length();
    }
  }
}

Table EveryType() {
  Table t;
  t.fields = {Field("NAME", FieldType::Text, 20),       Field("NOTES", FieldType::Text, 300),
              Field("COUNT", FieldType::Number, 9),     Field("BIG", FieldType::Number, 10),
              Field("PRICE", FieldType::Number, 10, 2), Field("OK", FieldType::Logical, 1),
              Field("DAY", FieldType::Date, 8),         Field("AT", FieldType::Time, 8),
              Field("BLOB", FieldType::Binary, 10),     Field("STAMP", FieldType::TimeStamp, 19)};
  const uint8_t blob[] = {0, 1, 2, 255, 'H'};
  t.records.push_back({FieldValue::Text("Alpha"), FieldValue::Text(std::string(253, 'x')),
                       FieldValue::Int32(123456789), FieldValue::Int64(1234567890),
                       FieldValue::Double(1234.5), FieldValue::Logical(true),
                       FieldValue::Date(20240229), FieldValue::Time(235959),
                       FieldValue::Binary(blob, sizeof blob),
                       FieldValue::TimeStamp(PackTimeStamp(2024, 2, 29, 23, 59, 59))});
  std::vector<FieldValue> nulls;
  for (size_t i = 0; i < t.fields.size(); ++i) nulls.push_back(FieldValue::Null());
  t.records.push_back(std::move(nulls));
  t.records.push_back({FieldValue::Text("to be deleted"), FieldValue::Text("gone"),
                       FieldValue::Int32(1), FieldValue::Int64(2), FieldValue::Double(3),
                       FieldValue::Logical(true), FieldValue::Date(20000101),
                       FieldValue::Time(10000), FieldValue::Null(), FieldValue::Null()});
  t.records.push_back({FieldValue::Text(""), FieldValue::Text(std::string(254, 'y')),
                       FieldValue::Int32(-5), FieldValue::Int64(-1), FieldValue::Double(-0.25),
                       FieldValue::Logical(false), FieldValue::Date(19991231), FieldValue::Time(0),
                       FieldValue::Binary("HSBM", 4),
                       FieldValue::TimeStamp(PackTimeStamp(1999, 12, 31, 0, 0, 0))});
  t.records.push_back({FieldValue::Text("Long"), FieldValue::Text(std::string(3000, 'z')),
                       FieldValue::Int32(0), FieldValue::Int64(9999999999), FieldValue::Double(0),
                       FieldValue::Logical(false), FieldValue::Null(), FieldValue::Time(120000),
                       FieldValue::Binary(std::string(5000, '\x7F').data(), 5000),
                       FieldValue::Null()});
  return t;
}

TEST_F(PdbDevice, IdentityOfThePlugin) {
  EXPECT_EQ(version_(), 2u);
  EXPECT_STREQ(device_->GetPluginName(), "pdbdevice");
  EXPECT_EQ(device_->GetPluginId(), 0x4E444449u);
  EXPECT_STREQ(device_->GetDescription(), "Palm DB");
  EXPECT_FALSE(device_->QueryDeviceFlag1());
  EXPECT_TRUE(device_->QueryDeviceFlag2());
  EXPECT_TRUE(device_->CanGetTable());
  for (const char* hidden : {"PutTable",
                             "_ZN9pdbdevice8PutTableERKNSt7__cxx1112basic_stringIcSt11char_"
                             "traitsIcESaIcEEES7_S7_jjS7_PFvPKczE"}) {
    EXPECT_EQ(dlsym(lib_, hidden), nullptr) << hidden;
  }
}

TEST_F(PdbDevice, RoundTripOfEveryFieldType) {
  const std::string source = Path("APRINFO.dbf"), pdb = Path("aprinfo.pdb"),
                    back = Path("BACK.dbf");
  WriteTable(source, EveryType());
  DeleteDbfRecord(source, 2);
  const Table before = ReadTable(source);
  ASSERT_EQ(before.records.size(), 4u);

  const uint32_t now = uint32_t(std::time(nullptr));
  ASSERT_TRUE(Put(source, pdb, 0x12345679));
  EXPECT_TRUE(LogLines().empty());
  ASSERT_TRUE(Get(pdb, back));
  ExpectSameTables(before, ReadTable(back));
  EXPECT_EQ(Boxes(), "");

  StrictFile file;
  ASSERT_TRUE(ParseStrict(ReadFile(pdb), &file));
  EXPECT_EQ(file.name, "VXA1_AprInfo");
  EXPECT_EQ(file.attributes, 0x0008);
  EXPECT_EQ(file.creator, 0x76584131u);
  EXPECT_EQ(file.flags, 0x12345679u);
  EXPECT_NEAR(double(file.created), double(now), 5);  // seconds since 1970
  EXPECT_EQ(file.created, file.modified);
  std::string letters;
  for (const auto& f : file.fields) letters += f.letter;
  EXPECT_EQ(letters, "CCNQFLDTGS");
  EXPECT_EQ(file.fields[4].decimals, 2);
  EXPECT_EQ(file.fields[1].width, before.fields[1].width);
  EXPECT_EQ(file.fields[0].name, "NAME");

  ASSERT_EQ(file.items.size(), 4u);
  const auto& first = file.items[0];
  EXPECT_EQ(first[0], Bytes(std::string_view("Alpha\0", 6)));
  EXPECT_EQ(file.records[0][7], 254);  // 253 characters: short form
  EXPECT_EQ(first[2], (std::vector<uint8_t>{0x07, 0x5B, 0xCD, 0x15}));
  EXPECT_EQ(first[3], (std::vector<uint8_t>{0, 0, 0, 0, 0x49, 0x96, 0x02, 0xD2}));  // width 10: Q
  EXPECT_EQ(first[4], (std::vector<uint8_t>{0x40, 0x93, 0x4A, 0, 0, 0, 0, 0}));     // 1234.5
  EXPECT_EQ(first[5], Bytes("T"));
  EXPECT_EQ(first[6], Bytes("20240229"));
  EXPECT_EQ(first[7], Bytes("23:59:59"));
  EXPECT_EQ(first[8], (std::vector<uint8_t>{0, 0, 1, 2, 255, 'H'}));  // reserved byte first
  EXPECT_EQ(first[9], (std::vector<uint8_t>{0, 120, 124, 2, 29, 23, 59, 59}));
  // Nulls are empty items; a logical without value is false; dBASE has no null text.
  const auto& nulls = file.items[1];
  for (size_t f : {2, 3, 4, 6, 7, 9}) EXPECT_TRUE(nulls[f].empty()) << f;
  EXPECT_EQ(nulls[0], std::vector<uint8_t>{0});
  EXPECT_EQ(nulls[5], Bytes("F"));
  // 254 characters take the long form; the plain four bytes "HSBM" are data.
  const auto& third = file.items[2];
  const size_t notes_at = 1 + third[0].size();
  EXPECT_EQ(file.records[2][notes_at], 0xFF);
  EXPECT_EQ(Be16(file.records[2], notes_at + 1), 255);
  EXPECT_EQ(third[8], Bytes(std::string_view("\0HSBM", 5)));
  EXPECT_EQ(file.items[3][1].size(), 3001u);
}

TEST_F(PdbDevice, EmptyTable) {
  Table t;
  t.fields = {Field("A", FieldType::Text, 10), Field("B", FieldType::Number, 5)};
  WriteTable(Path("EMPTY.dbf"), t);
  ASSERT_TRUE(Put(Path("EMPTY.dbf"), Path("empty.pdb"), 0));
  const auto bytes = ReadFile(Path("empty.pdb"));
  EXPECT_EQ(bytes.size(), 80u + 34 + 2 * 44);
  StrictFile file;
  ASSERT_TRUE(ParseStrict(bytes, &file));
  EXPECT_EQ(file.attributes, 0);
  EXPECT_TRUE(file.records.empty());
  ASSERT_TRUE(Get(Path("empty.pdb"), Path("BACK.dbf")));
  ExpectSameTables(ReadTable(Path("EMPTY.dbf")), ReadTable(Path("BACK.dbf")));
}

// The Palm::PDB reader from Debian's packages sees the same database.
TEST_F(PdbDevice, IndependentReaderAgrees) {
  if (std::system("perl -MPalm::PDB -MPalm::Raw -e 1 2>/dev/null") != 0) {
    GTEST_SKIP() << "Palm::PDB (libpalm-perl) is not installed";
  }
  WriteTable(Path("APRINFO.dbf"), EveryType());
  // A name longer than a handheld name keeps its first 31 characters and a terminator.
  ASSERT_TRUE(Put(Path("APRINFO.dbf"), Path("a.pdb"), 1, "VXA1_A_table_name_longer_than_32_chars"));
  const std::string command = "perl " PDBDEVICE_TEST_DIR "/pdb_dump.pl " + Path("a.pdb") + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_TRUE(pipe);
  std::string out;
  char buf[4096];
  while (size_t n = fread(buf, 1, sizeof buf, pipe)) out.append(buf, n);
  ASSERT_EQ(pclose(pipe), 0) << out;

  StrictFile file;
  ASSERT_TRUE(ParseStrict(ReadFile(Path("a.pdb")), &file));
  auto hex = [](const std::vector<uint8_t>& b) {
    std::string s;
    char two[3];
    for (uint8_t c : b) std::snprintf(two, sizeof two, "%02x", c), s += two;
    return s;
  };
  const auto bytes = ReadFile(Path("a.pdb"));
  std::string expected =
      "name=VXA1_A_table_name_longer_than_3\ntype=TABL\ncreator=vXA1\nbackup=1\n"
      "version=0\nctime=" +
      std::to_string(int64_t(file.created) - 2082844800) + "\nrecords=5\nappinfo=" +
      hex({bytes.begin() + 80 + 40, bytes.begin() + ptrdiff_t(file.record_offsets[0])}) + "\n";
  for (const auto& r : file.records) expected += "record=0:" + hex(r) + "\n";
  EXPECT_TRUE(out == expected) << out.substr(0, 400);
}

TEST_F(PdbDevice, BinaryPayloadsNameFiles) {
  const std::string pics = nb::MapPath("C:\\pics");
  nb::MakeDirs(pics);
  ASSERT_EQ(
      std::system((NB_BIN_DIR "/bmpgen --width 17 --height 3 --set 2,4,8,16 " + pics + "/house.bmp")
                      .c_str()),
      0);
  WriteFile(pics + "/raw.bin", Bytes("raw bytes"));
  Table t;
  t.fields = {Field("PIC", FieldType::Binary, 10)};
  auto ref = [](const std::string& s) {
    return std::vector<FieldValue>{FieldValue::Binary(s.data(), s.size())};
  };
  t.records = {ref("HSBMC:\\pics\\house.bmp"),   ref("HSRWC:\\pics\\raw.bin"),
               ref("HSRWC:\\pics\\missing.bin"), ref("HSBMC:\\pics\\missing.bmp"),
               ref(std::string(64600, 'b')),     ref(std::string(64500, 'c'))};
  WriteTable(Path("PICS.dbf"), t);
  ASSERT_TRUE(Put(Path("PICS.dbf"), Path("pics.pdb")));
  StrictFile file;
  ASSERT_TRUE(ParseStrict(ReadFile(Path("pics.pdb")), &file));
  ASSERT_EQ(file.items.size(), 6u);

  // The bitmap family: "Tbmp", then depths 1 to 16 with the row bytes of 17 pixels.
  const auto& bitmap = file.items[0][0];
  ASSERT_GT(bitmap.size(), 5u);
  EXPECT_EQ(std::string(bitmap.begin() + 1, bitmap.begin() + 5), "Tbmp");
  std::vector<uint8_t> family(bitmap.begin() + 5, bitmap.end());
  EXPECT_EQ(family.size(), 304u);
  std::vector<int> rows;
  for (size_t at = 0;;) {
    rows.push_back(Be16(family, at + 4));
    if (!Be16(family, at + 10)) break;
    at += Be16(family, at + 10) * 4u;
  }
  EXPECT_EQ(rows, (std::vector<int>{4, 6, 10, 18, 34}));
  EXPECT_EQ(file.items[1][0], Bytes(std::string_view("\0raw bytes", 10)));
  for (size_t r : {2, 3, 4}) {
    EXPECT_TRUE(file.items[r][0].empty()) << r;
    EXPECT_EQ(std::vector<uint8_t>(file.records[r].begin(), file.records[r].begin() + 3),
              (std::vector<uint8_t>{0xFF, 0, 0}));
  }
  EXPECT_EQ(file.items[5][0].size(), 64501u);  // 64500 bytes and 4 of item fit the limit

  const std::vector<std::string> expected = {
      "Specified file is not found. (Record#3, Path=C:\\pics\\missing.bin)",
      "Unable to process bitmaps.\n\nB&W bitmap file \"C:\\pics\\missing.bmp\" is missing.",
      "Unable to process bitmap.\n\nNone of the bitmap specified is valid.",
      "Cannot convert C:\\pics\\missing.bmp to PalmBitmap. (Record#4)",
      "Binary data in BINARY TYPE field is too big. (Record#5)"};
  EXPECT_EQ(LogLines(), expected);

  // Back on the desktop the bitmap stays a handheld bitmap and the left-out values are null.
  ASSERT_TRUE(Get(Path("pics.pdb"), Path("BACK.dbf")));
  Table back = ReadTable(Path("BACK.dbf"));
  ASSERT_EQ(back.records.size(), 6u);
  EXPECT_EQ(back.records[0][0].length(), 4u + 304);
  EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(back.records[1][0].bytes()), 9),
            "raw bytes");
}

TEST_F(PdbDevice, RecordsPastTheLimitAreLogged) {
  Table t;
  t.fields = {Field("A", FieldType::Text, 300), Field("B", FieldType::Text, 300),
              Field("P", FieldType::Binary, 10)};
  const std::string big(40000, 'q');
  t.records = {{FieldValue::Text(big), FieldValue::Text(big), FieldValue::Binary("abcde", 5)}};
  WriteTable(Path("BIG.dbf"), t);
  ASSERT_TRUE(Put(Path("BIG.dbf"), Path("big.pdb")));
  EXPECT_EQ(LogLines(), (std::vector<std::string>{
                            "Binary data in BINARY TYPE field is too big. (Record#1)",
                            "A record size is more than maximum size (64KB), so skipped all "
                            "BINARY TYPE fields. (Record#1)"}));
  StrictFile file;
  ASSERT_TRUE(ParseStrict(ReadFile(Path("big.pdb")), &file));
  EXPECT_EQ(file.records[0].size(), 2 * (3 + 40001) + 3u);
  // Without a log function the warnings are dropped, the file is the same.
  LogLines().clear();
  ASSERT_TRUE(Put(Path("BIG.dbf"), Path("big2.pdb"), 1, "VXA1_AprInfo", nullptr));
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(PdbDevice, DeletedHandheldRecordsAndUnknownLetters) {
  Table t;
  t.fields = {Field("N", FieldType::Number, 4), Field("S", FieldType::Text, 10)};
  for (int i = 0; i < 3; ++i)
    t.records.push_back({FieldValue::Int32(i), FieldValue::Text("row" + std::to_string(i))});
  WriteTable(Path("T.dbf"), t);
  ASSERT_TRUE(Put(Path("T.dbf"), Path("t.pdb")));
  auto bytes = ReadFile(Path("t.pdb"));
  bytes[78 + 8 * 1 + 4] = 0x80;         // second record deleted on the handheld
  bytes[80 + 24 + 34 + 44 + 34] = 'X';  // second field of an unknown letter
  WriteFile(Path("t.pdb"), bytes);
  ASSERT_TRUE(Get(Path("t.pdb"), Path("BACK.dbf")));
  EXPECT_NE(Boxes().find("Unknown field type\\n\\nPath: " + Path("t.pdb")), std::string::npos)
      << Boxes();
  Table back = ReadTable(Path("BACK.dbf"));
  ASSERT_EQ(back.records.size(), 2u);
  EXPECT_EQ(back.fields[1].type, FieldType::Text);
  EXPECT_EQ(back.records[0][0].AsInt64(), 0);
  EXPECT_EQ(back.records[1][0].AsInt64(), 2);
  EXPECT_EQ(back.records[1][1].text_view(), "row2");

  // A sort-info offset far past the end is never used (it once crashed the reader).
  SetBe32(bytes, 56, uint32_t(bytes.size() + 100000));
  WriteFile(Path("t.pdb"), bytes);
  ASSERT_TRUE(Get(Path("t.pdb"), Path("BACK2.dbf"))) << Boxes();
  EXPECT_EQ(ReadTable(Path("BACK2.dbf")).records.size(), 2u);
  // Records stored in another order and a deleted entry that points nowhere: the file is
  // still read, in the order of its record list.
  const uint32_t first = Be32(bytes, 78);
  SetBe32(bytes, 78, Be32(bytes, 94));
  SetBe32(bytes, 94, first);
  SetBe32(bytes, 86, 0);
  WriteFile(Path("t.pdb"), bytes);
  ASSERT_TRUE(Get(Path("t.pdb"), Path("BACK3.dbf"))) << Boxes();
  back = ReadTable(Path("BACK3.dbf"));
  ASSERT_EQ(back.records.size(), 2u);
  EXPECT_EQ(back.records[0][1].text_view(), "row2");
  EXPECT_EQ(back.records[1][1].text_view(), "row0");
}

TEST_F(PdbDevice, DamagedHandheldFilesLeaveTheDesktopTableAlone) {
  Table t;
  t.fields = {Field("N", FieldType::Number, 4), Field("D", FieldType::Date, 8)};
  for (int i = 0; i < 3; ++i)
    t.records.push_back({FieldValue::Int32(i), FieldValue::Date(20240101)});
  WriteTable(Path("T.dbf"), t);
  ASSERT_TRUE(Put(Path("T.dbf"), Path("good.pdb")));
  const auto good = ReadFile(Path("good.pdb"));
  const size_t info = 80 + 24;
  const size_t first = Be32(good, 78), second = Be32(good, 86), third = Be32(good, 94);

  struct Case {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> spoil;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"app info beyond the file", [&](auto& b) { SetBe32(b, 52, uint32_t(b.size() + 10)); },
       "PDB file is damaged (application-info offset outside the file)"},
      {"no app info", [&](auto& b) { SetBe32(b, 52, 0); },
       "PDB file is damaged (no table-info block)"},
      {"record beyond the file", [&](auto& b) { SetBe32(b, 94, uint32_t(b.size() + 1)); },
       "PDB file is damaged (record offset outside the file)"},
      {"record inside the header", [&](auto& b) { SetBe32(b, 78, 20); },
       "PDB file is damaged (record offset outside the file)"},
      {"record inside the table info", [&](auto& b) { SetBe32(b, 86, uint32_t(first - 1)); },
       "PDB file is damaged (the field count 2 does not fit the table-info block)"},
      {"record list past the end", [&](auto& b) { SetBe16(b, 76, 5000); },
       "PDB file is damaged (record list runs past the end of the file)"},
      {"item past its record", [&](auto& b) { b[second + 5] = 200; },
       "PDB file is damaged (field 2 runs past the end of record 2)"},
      {"short number item", [&](auto& b) { b[third] = 2; },
       "PDB file is damaged (field 1 of record 3 is too short for its type)"},
      {"field count too large", [&](auto& b) { SetBe16(b, info + 12, 3); },
       "PDB file is damaged (the field count 3 does not fit the table-info block)"},
      {"table info too short",
       [&](auto& b) {
         b.resize(info + 20);
         SetBe16(b, 76, 0);
       },
       "PDB file is damaged (the table-info block is too short)"},
      {"header cut", [&](auto& b) { b.resize(50); },
       "PDB file is damaged (file shorter than the database header)"},
      {"empty", [&](auto& b) { b.clear(); }, "PDB file is empty"},
  };
  WriteTable(Path("KEEP.dbf"), t);
  const auto keep = ReadFile(Path("KEEP.dbf"));
  for (const Case& c : cases) {
    auto bytes = good;
    c.spoil(bytes);
    WriteFile(Path("bad.pdb"), bytes);
    std::remove(ui_log_.c_str());
    EXPECT_FALSE(Get(Path("bad.pdb"), Path("KEEP.dbf"))) << c.what;
    EXPECT_NE(Boxes().find(std::string(c.message) + "\\n\\nPath: " + Path("bad.pdb")),
              std::string::npos)
        << c.what << ": " << Boxes();
    EXPECT_EQ(ReadFile(Path("KEEP.dbf")), keep) << c.what;
  }
  std::remove(ui_log_.c_str());
  EXPECT_FALSE(Get(Path("none.pdb"), Path("NEW.dbf")));
  EXPECT_NE(Boxes().find("Unable to open PDB file"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(Path("NEW.dbf")));

  // An empty date item reads back as no value.
  auto bytes = good;
  const size_t date_at = first + 5;
  ASSERT_EQ(bytes[date_at], 8);
  bytes[date_at] = 0;
  bytes.erase(bytes.begin() + ptrdiff_t(date_at + 1), bytes.begin() + ptrdiff_t(date_at + 9));
  for (size_t i : {1, 2}) SetBe32(bytes, 78 + 8 * i, Be32(bytes, 78 + 8 * i) - 8);
  WriteFile(Path("nodate.pdb"), bytes);
  ASSERT_TRUE(Get(Path("nodate.pdb"), Path("NODATE.dbf")));
  Table back = ReadTable(Path("NODATE.dbf"));
  ASSERT_EQ(back.records.size(), 3u);
  EXPECT_TRUE(back.records[0][1].is_null());
  EXPECT_EQ(back.records[1][1].date(), 20240101);
}

TEST_F(PdbDevice, WriterFailures) {
  EXPECT_FALSE(Put(Path("MISSING.dbf"), Path("x.pdb")));
  EXPECT_NE(Boxes().find("\"caption\": \"Nimbra NDDI Error\""), std::string::npos);
  EXPECT_NE(Boxes().find("Unable to open the desktop file.\\n\\nPath: " + Path("MISSING.dbf")),
            std::string::npos)
      << Boxes();
  Table t;
  t.fields = {Field("A", FieldType::Text, 10)};
  t.records = {{FieldValue::Text("a")}};
  WriteTable(Path("T.dbf"), t);
  EXPECT_FALSE(Put(Path("T.dbf"), Path("no/such/folder/x.pdb")));
  EXPECT_NE(Boxes().find("Unable to create/open a new PDB file.\\n\\nPath: " + Path("T.dbf")),
            std::string::npos);
  // A desktop plug-in that cannot be loaded is the caller's exception.
  try {
    device_->PutTableToPalmPilot("n", Path("T.dbf").c_str(), Path("x.pdb").c_str(), 0, 0,
                                 "C:\\Nimbra\\Bin\\NBDDB\\nonestore.dll", Log);
    ADD_FAILURE() << "no exception";
  } catch (const CNbddb_Exception& e) {
    EXPECT_EQ(e.code(), 2);
  }
  ASSERT_TRUE(Put(Path("T.dbf"), Path("t.pdb")));
  try {
    device_->GetTableFromPalmPilot("n", Path("t.pdb").c_str(), Path("T2.dbf").c_str(),
                                   NB_BIN_DIR "/nbddb_fake_v256.so");
    ADD_FAILURE() << "no exception";
  } catch (const CNbddb_Exception& e) {
    EXPECT_EQ(e.code(), 4);
  }
}

}  // namespace
}  // namespace pdbdevice::testing
