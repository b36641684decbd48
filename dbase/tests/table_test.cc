// The dBASE layer on its own: in-place updates, deletion marks, appends to an existing
// table, reads across the read-ahead window, and the value rules at their edges.
#include "dbase/table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "dbase/memo.h"
#include "dbase/replace.h"
#include "dbase/values.h"
#include "platform/os.h"
#include "test_prefix.h"

namespace {

FieldDesc Field(const char* name, uint8_t type, uint16_t width = 0, uint8_t decimals = 0) {
  FieldDesc f;
  f.SetName(name);
  f.type = type;
  f.width = width;
  f.decimals = decimals;
  return f;
}

std::vector<uint8_t> Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

const std::vector<FieldDesc> kSchema = {Field("ID", FieldType::Number, 7),
                                        Field("NAME", FieldType::Text, 12),
                                        Field("NOTE", FieldType::Text, 500)};

std::vector<FieldValue> Row(int id) {
  return {FieldValue::Int32(id), FieldValue::Text("n" + std::to_string(id)),
          FieldValue::Text("memo " + std::to_string(id))};
}

TEST(DbaseTable, UpdatesInPlaceMarksDeletedAndAppendsToAnExistingTable) {
  nb::testing::TempPrefix prefix;
  const std::string path = prefix.path() + "/t.dbf";
  dbase::Table t;
  ASSERT_TRUE(t.Create(path, kSchema)) << t.error();
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(t.AppendRecord(Row(i)));
  ASSERT_TRUE(t.Close());

  ASSERT_TRUE(t.Open(path, true)) << t.error();
  EXPECT_EQ(t.record_count(), 3u);
  ASSERT_TRUE(t.RewriteRecord(
      1, {FieldValue::Int32(41), FieldValue::Text("renamed"), FieldValue::Text("new memo")}));
  ASSERT_TRUE(t.MarkDeleted(2));
  ASSERT_TRUE(t.AppendRecord(Row(3)));
  EXPECT_FALSE(t.RewriteRecord(9, Row(9)));
  EXPECT_FALSE(t.AppendRecord({FieldValue::Int32(1)}));  // one value per field
  EXPECT_FALSE(t.error().empty());
  ASSERT_TRUE(t.Close());

  // The end byte moved behind the appended record instead of staying in the middle.
  const auto b = Bytes(path);
  const size_t header = 32 * 3 + 33, record = 1 + 7 + 12 + 10;
  ASSERT_EQ(b.size(), header + 4 * record + 1);
  EXPECT_EQ(b.back(), 0x1A);
  EXPECT_EQ(b[4], 4);
  EXPECT_EQ(b[29], 0x57);  // Windows-1252 declared

  ASSERT_TRUE(t.Open(path, false));
  std::vector<FieldValue> v;
  bool deleted = true;
  ASSERT_TRUE(t.ReadRecord(1, &v, &deleted));
  EXPECT_FALSE(deleted);
  EXPECT_EQ(v[0], FieldValue::Int32(41));
  EXPECT_EQ(v[1].text_view(), "renamed");
  EXPECT_EQ(v[2].text_view(), "new memo");
  ASSERT_TRUE(t.ReadRecord(2, &v, &deleted));
  EXPECT_TRUE(deleted);
  EXPECT_EQ(v[2].text_view(), "memo 2");
  ASSERT_TRUE(t.ReadRecord(3, &v, &deleted));
  EXPECT_EQ(v[2].text_view(), "memo 3");
  EXPECT_FALSE(t.ReadRecord(4, &v, &deleted));
  EXPECT_FALSE(t.MarkDeleted(0));  // opened read-only
  t.Close();
  EXPECT_EQ(Bytes(path), b);
}

TEST(DbaseTable, ReadsAcrossTheWindowAndSurvivesDroppingWithoutClose) {
  nb::testing::TempPrefix prefix;
  const std::string path = prefix.path() + "/big.dbf";
  const int n = 5000;  // about 150 KiB: several read-ahead windows and append buffers
  {
    dbase::Table t;
    ASSERT_TRUE(t.Create(path, kSchema));
    for (int i = 0; i < n; ++i) ASSERT_TRUE(t.AppendRecord(Row(i)));
    ASSERT_TRUE(t.Close());
  }
  dbase::Table t;
  ASSERT_TRUE(t.Open(path, true));
  ASSERT_EQ(t.record_count(), size_t(n));
  std::vector<FieldValue> v;
  bool deleted;
  for (int i : {0, n - 1, 2183, 2184, 1, n / 2}) {
    ASSERT_TRUE(t.ReadRecord(size_t(i), &v, &deleted)) << i;
    EXPECT_EQ(v[0], FieldValue::Int32(i));
    EXPECT_EQ(v[2].text_view(), "memo " + std::to_string(i));
  }
  for (int i = 0; i < n; ++i) {
    const char* raw = t.RawRecord(size_t(i));
    ASSERT_NE(raw, nullptr) << i;
    ASSERT_EQ(dbase::ParseMemoBlock(t.FieldBytes(raw, 2).data(), 10), uint32_t(i + 1));
  }
  // Dropped without Close: the appended records are in the file, the count is not.
  {
    dbase::Table more;
    ASSERT_TRUE(more.Open(path, true));
    ASSERT_TRUE(more.AppendRecord(Row(n)));
  }
  dbase::Table again;
  ASSERT_TRUE(again.Open(path, false));
  EXPECT_EQ(again.record_count(), size_t(n));
}

std::vector<std::string> Files(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A created table replaces the old one only at Close: dropped before, the old one stays.
// The memo header names the table, not the temporary file; a new schema without memo
// fields leaves the old memo file as it was.
TEST(DbaseTable, ACreatedTableReplacesTheOldOneAtClose) {
  nb::testing::TempPrefix prefix;
  const std::string path = prefix.path() + "/APRINFO.dbf", memo = dbase::MemoPathFor(path);
  dbase::Table t;
  ASSERT_TRUE(t.Create(path, kSchema));
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(t.AppendRecord(Row(i)));
  ASSERT_TRUE(t.Close());
  const auto dbf = Bytes(path), dbt = Bytes(memo);
  EXPECT_EQ(std::string(dbt.begin() + 8, dbt.begin() + 16), std::string("APRINFO\0", 8));
  {
    dbase::Table dropped;
    ASSERT_TRUE(dropped.Create(path, kSchema));
    ASSERT_TRUE(dropped.AppendRecord(Row(7)));
  }
  EXPECT_EQ(Bytes(path), dbf);
  EXPECT_EQ(Bytes(memo), dbt);
  EXPECT_EQ(Files(prefix.path()), (std::vector<std::string>{"APRINFO.dbf", "APRINFO.dbt"}));

  ASSERT_TRUE(t.Create(path, {Field("ID", FieldType::Number, 7)}));
  ASSERT_TRUE(t.AppendRecord({FieldValue::Int32(5)}));
  ASSERT_TRUE(t.Close());
  EXPECT_EQ(Bytes(memo), dbt);
  ASSERT_TRUE(t.Open(path, false));
  EXPECT_EQ(t.record_count(), 1u);
  EXPECT_EQ(Files(prefix.path()), (std::vector<std::string>{"APRINFO.dbf", "APRINFO.dbt"}));
}

// What a killed commit left staged in a folder: a staged table with its memo file is put in
// place, a staged memo file alone is dropped, and each is named in the notes.
TEST(DbaseTable, PendingReplacementsInAFolderAreFinishedAndNoted) {
  nb::testing::TempPrefix prefix;
  const std::string a = prefix.path() + "/A.dbf", b = prefix.path() + "/B.DBF";
  dbase::Table t;
  for (const std::string& path : {a, b}) {
    ASSERT_TRUE(t.Create(path, kSchema));
    ASSERT_TRUE(t.AppendRecord(Row(1)));
    ASSERT_TRUE(t.Close());
  }
  const auto old_b = Bytes(b), old_b_memo = Bytes(dbase::MemoPathFor(b));
  // Stage copies of A's files as its replacement, and a lone memo file for B.
  std::filesystem::copy_file(a, dbase::StagedPathFor(a));
  std::filesystem::copy_file(dbase::MemoPathFor(a), dbase::StagedPathFor(dbase::MemoPathFor(a)));
  std::filesystem::copy_file(dbase::MemoPathFor(a), dbase::StagedPathFor(dbase::MemoPathFor(b)));
  const std::vector<std::string> notes = dbase::FinishPendingReplacementsIn(prefix.path());
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_NE(notes[0].find("A.dbf in place"), std::string::npos) << notes[0];
  EXPECT_NE(notes[1].find("B.dbt.~new"), std::string::npos) << notes[1];
  EXPECT_EQ(Files(prefix.path()), (std::vector<std::string>{"A.dbf", "A.dbt", "B.DBF", "B.dbt"}));
  EXPECT_EQ(Bytes(b), old_b);
  EXPECT_EQ(Bytes(dbase::MemoPathFor(b)), old_b_memo);
  EXPECT_TRUE(dbase::FinishPendingReplacementsIn(prefix.path()).empty());
}

// A full disk or a device error at any write of an in-place change: the change or the Close
// after it fails, and the table keeps its record count, each record old or changed whole.
TEST(DbaseTable, InPlaceChangesThatCannotBeWrittenFailAndKeepTheTable) {
  nb::testing::TempPrefix prefix;
  const std::string path = prefix.path() + "/t.dbf";
  const std::vector<FieldValue> changed = {FieldValue::Int32(41), FieldValue::Text("renamed"),
                                           FieldValue::Text("new memo")};
  struct Change {
    const char* what;
    std::function<bool(dbase::Table&)> run;
  };
  const Change changes[] = {
      {"rewrite", [&](dbase::Table& t) { return t.RewriteRecord(1, changed); }},
      {"delete", [](dbase::Table& t) { return t.MarkDeleted(1); }},
      {"append", [](dbase::Table& t) { return t.AppendRecord(Row(3)); }},
  };
  for (int err : {ENOSPC, EIO}) {
    for (const Change& change : changes) {
      for (int n = 1;; ++n) {
        const std::string at = std::string(change.what) + ", write " + std::to_string(n);
        {
          dbase::Table t;
          ASSERT_TRUE(t.Create(path, kSchema));
          for (int i = 0; i < 3; ++i) ASSERT_TRUE(t.AppendRecord(Row(i)));
          ASSERT_TRUE(t.Close());
        }
        nb::FaultyOs faulty(nb::OsCall::kWrite, n, err);
        bool ok;
        {
          dbase::Table t;
          ASSERT_TRUE(t.Open(path, true));
          nb::ScopedOs scoped(faulty);
          ok = change.run(t);
          ok = t.Close() && ok;
        }
        if (!faulty.fired()) {
          EXPECT_TRUE(ok) << at;
          break;
        }
        EXPECT_FALSE(ok) << at;
        dbase::Table t;
        ASSERT_TRUE(t.Open(path, false)) << at;
        EXPECT_EQ(t.record_count(), 3u) << at;
        for (int i = 0; i < 3; ++i) {
          std::vector<FieldValue> v;
          bool deleted;
          ASSERT_TRUE(t.ReadRecord(size_t(i), &v, &deleted)) << at;
          const bool old = v == Row(i) && !deleted;
          const bool whole_change = i == 1 && (v == changed || (v == Row(i) && deleted));
          EXPECT_TRUE(old || whole_change) << at << ", record " << i;
        }
      }
    }
  }
}

TEST(DbaseTable, RefusesSchemasTheHeaderCannotHold) {
  nb::testing::TempPrefix prefix;
  dbase::Table t;
  EXPECT_FALSE(t.Create(prefix.path() + "/u.dbf", {Field("X", 7)}));
  EXPECT_NE(t.error().find("unknown type"), std::string::npos);
  std::vector<FieldDesc> many(3000, Field("C", FieldType::Logical, 1));
  EXPECT_FALSE(t.Create(prefix.path() + "/m.dbf", many));
  std::vector<FieldDesc> wide(300, Field("C", FieldType::Text, 253));
  EXPECT_FALSE(t.Create(prefix.path() + "/w.dbf", wide));
  EXPECT_FALSE(std::filesystem::exists(prefix.path() + "/u.dbf"));
}

TEST(DbaseValues, FormattingKeepsTheColumnWidth) {
  auto fmt = [](const FieldDesc& f, const FieldValue& v, size_t width) {
    std::string out(width, '?');
    dbase::FormatValue(f, v, out.data(), width);
    return out;
  };
  EXPECT_EQ(fmt(Field("T", FieldType::Text, 5), FieldValue::Text("abcdefgh"), 5), "abcde");
  EXPECT_EQ(fmt(Field("T", FieldType::Text, 5), FieldValue::Text(std::string("ab\0cd", 5)), 5),
            "ab   ");
  EXPECT_EQ(fmt(Field("T", FieldType::Text, 5), FieldValue::Null(), 5), "     ");
  EXPECT_EQ(fmt(Field("N", FieldType::Number, 4), FieldValue::Int32(99999), 4), "****");
  EXPECT_EQ(fmt(Field("N", FieldType::Number, 6, 2), FieldValue::Int32(3), 6), "  3.00");
  EXPECT_EQ(fmt(Field("N", FieldType::Number, 6, 2), FieldValue::Text("x"), 6), "  0.00");
  EXPECT_EQ(fmt(Field("D", FieldType::Date), FieldValue::Date(101), 8), "00000101");
  EXPECT_EQ(fmt(Field("D", FieldType::Date), FieldValue::Date(-1), 8), "        ");
  EXPECT_EQ(fmt(Field("D", FieldType::Date), FieldValue::Date(123456789), 8), "        ");
  EXPECT_EQ(fmt(Field("A", FieldType::Time), FieldValue::Time(70509), 8), "07:05:09");
  EXPECT_EQ(fmt(Field("A", FieldType::Time), FieldValue::Time(1000000), 8), "        ");
  EXPECT_EQ(fmt(Field("A", FieldType::Time), FieldValue::Time(-5), 8), "        ");
  EXPECT_EQ(fmt(Field("L", FieldType::Logical, 1), FieldValue::Null(), 1), "F");
  EXPECT_EQ(fmt(Field("L", FieldType::Logical, 3), FieldValue::Logical(true), 3), "T  ");
  EXPECT_EQ(fmt(Field("S", FieldType::TimeStamp, 5), FieldValue::TimeStamp(123456), 5), "*****");
}

TEST(DbaseValues, ParsingRules) {
  auto parse = [](const std::string& raw, uint8_t type, uint8_t decimals = 0) {
    return dbase::ParseValue(raw.data(), raw.size(), type, decimals);
  };
  EXPECT_EQ(parse("a\rb\r  ", FieldType::Text)->text_view(), "ab");
  EXPECT_EQ(parse("    ", FieldType::Text)->text_view(), "");
  EXPECT_TRUE(parse(std::string("\0abc", 4), FieldType::Text)->is_null());
  EXPECT_EQ(parse(std::string("ab\0cd", 5), FieldType::Text)->text_view(), "ab");
  EXPECT_EQ(*parse("  12", FieldType::Number), FieldValue::Int32(12));
  EXPECT_EQ(*parse("      -12.5", FieldType::Number, 1), FieldValue::Double(-12.5));
  EXPECT_EQ(*parse("0000000012", FieldType::Number), FieldValue::Int64(12));
  EXPECT_TRUE(parse("   ", FieldType::Number)->is_null());
  EXPECT_EQ(*parse("t", FieldType::Logical), FieldValue::Logical(false));
  EXPECT_EQ(*parse(" ", FieldType::Logical), FieldValue::Logical(false));
  EXPECT_EQ(*parse("20240131", FieldType::Date), FieldValue::Date(20240131));
  EXPECT_EQ(*parse("3:26:11 PM", FieldType::Time), FieldValue::Time(152611));
  EXPECT_EQ(parse(" \x01 ", FieldType::Binary)->length(), 3u);
  EXPECT_FALSE(parse("x", FieldType::Unset).has_value());
  EXPECT_FALSE(parse("x", 7).has_value());
  EXPECT_EQ(dbase::ParseMemoBlock("  -5      ", 10), 0u);
  EXPECT_EQ(dbase::ParseMemoBlock("99999999999", 11), 0u);
}

TEST(DbaseMemo, LongEntriesAreCutAndUntaggedOnesEndAtTwoEofBytes) {
  nb::testing::TempPrefix prefix;
  const std::string path = prefix.path() + "/m.dbt";
  dbase::MemoFile memo;
  ASSERT_TRUE(memo.Create(path, "M"));
  const std::string big(70000, 'x');
  auto block = memo.Write(big.data(), big.size());
  ASSERT_EQ(block, 1u);
  EXPECT_EQ(memo.Write("", 0), 0u);
  const std::string untagged = std::string(200, 'y') + "\x1A\x1A";
  auto second = memo.Write(untagged.data(), untagged.size());
  ASSERT_TRUE(memo.Close(true));

  ASSERT_TRUE(memo.Open(path, false));
  auto data = memo.Read(*block, true);
  ASSERT_TRUE(data);
  EXPECT_EQ(data->size(), dbase::kMemoReadLimit);
  // Read untagged, the entry header is data and the text ends at the two 0x1A bytes.
  data = memo.Read(*second, false);
  ASSERT_TRUE(data);
  EXPECT_EQ(data->size(), 8u + 200);
  EXPECT_FALSE(memo.Read(0, true));
  EXPECT_FALSE(memo.Read(100000, true));
  EXPECT_FALSE(memo.Read(UINT32_MAX, false));
  // Untagged reading of the long entry stops at the limit too.
  data = memo.Read(*block, false);
  ASSERT_TRUE(data);
  EXPECT_EQ(data->size(), dbase::kMemoReadLimit);
  memo.Close(false);

  EXPECT_EQ(dbase::MemoPathFor("/a/b.c/Tab.DBF"), "/a/b.c/Tab.dbt");
  EXPECT_EQ(dbase::MemoPathFor("/a/b.c/Tab"), "/a/b.c/Tab.dbt");
  EXPECT_EQ(dbase::TableNameFor("/x/LongTableName.dbf"), "LongTabl");
}

// Tables of the System folder are created and rewritten here: a link planted in their
// place is refused, never written through.
TEST(DbaseTable, WritesThroughNoPlantedLink) {
  nb::testing::TempPrefix prefix;
  const std::string outside = prefix.path() + "/outside", path = prefix.path() + "/T.dbf";
  std::ofstream(outside) << "keep";
  std::filesystem::create_symlink(outside, path);
  dbase::Table t;
  EXPECT_FALSE(t.Create(path, kSchema));
  EXPECT_FALSE(t.Open(path, true));
  std::filesystem::remove(path);
  ASSERT_TRUE(t.Create(path, kSchema));
  ASSERT_TRUE(t.Close());
  std::filesystem::remove(dbase::MemoPathFor(path));
  std::filesystem::create_symlink(outside, dbase::MemoPathFor(path));
  ASSERT_TRUE(t.Open(path, true));
  EXPECT_FALSE(t.AppendRecord(Row(1)) && t.Close());
  EXPECT_EQ(Bytes(outside), std::vector<uint8_t>({'k', 'e', 'e', 'p'}));
}

// A table read through a link could be any file of the user's: neither the table nor its
// memo file is read through one.
TEST(DbaseTable, ReadsThroughNoLink) {
  for (const char* linked : {"T.dbf", "T.dbt"}) {
    nb::testing::TempPrefix prefix;
    const std::string real = prefix.path() + "/real", path = prefix.path() + "/T.dbf";
    std::filesystem::create_directory(real);
    dbase::Table t;
    ASSERT_TRUE(t.Create(real + "/T.dbf", kSchema) && t.AppendRecord(Row(1)) && t.Close());
    for (const char* name : {"T.dbf", "T.dbt"}) {
      if (std::string(name) == linked)
        std::filesystem::create_symlink(real + "/" + name, prefix.path() + "/" + name);
      else
        std::filesystem::copy_file(real + "/" + name, prefix.path() + "/" + name);
    }
    EXPECT_FALSE(t.Open(path, false)) << linked;
    EXPECT_NE(t.error().find(std::string(linked) + " is a link"), std::string::npos) << t.error();
  }
}

}  // namespace
