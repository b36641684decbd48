// Files named .mdb that the store cannot read: every operation names the file, changes
// nothing and does not crash.
#include <gtest/gtest.h>
#include <unistd.h>

#include "mdb_test_util.h"

namespace {

using namespace mdbtest;

std::string Bytes(size_t n, char fill) { return std::string(n, fill); }

void Write(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// A table of a few dozen pages.
std::string GoodDatabase(const Desk& desk) {
  const std::string path = desk.Path("good.mdb");
  Records records;
  for (int i = 0; i < 200; ++i)
    records.push_back(
        {FieldValue::Int32(i), FieldValue::Text(std::string(300, char('a' + i % 26)))});
  EXPECT_TRUE(WriteTable(path, {Field("N", FieldType::Number, 9), Field("T", FieldType::Text, 400)},
                         records));
  return nb::testing::Slurp(path);
}

TEST(MdbstoreDamaged, EveryOperationNamesTheFileAndChangesNothing) {
  Desk desk;
  const std::string good = GoodDatabase(desk);
  ASSERT_GT(good.size(), 40000u);
  std::string jet = std::string("\x00\x01\x00\x00Standard Jet DB\x00", 20) + Bytes(2028, '\x5a');
  std::string scribbled = good;
  for (size_t i = 4096; i < scribbled.size(); i += 97) scribbled[i] ^= 0x5A;
  struct Case {
    const char* name;
    std::string bytes;
    bool opens;  // the damage shows only while reading
  } cases[] = {
      {"junk.mdb", "This is not a database at all.\r\n" + Bytes(4000, 'x'), false},
      {"empty.mdb", "", false},
      {"short.mdb", good.substr(0, 60), false},
      {"truncated.mdb", good.substr(0, good.size() / 2), false},
      {"jet.mdb", jet, false},
      {"scribbled.mdb", scribbled, true},
      // Found by fuzzing: a write into it left a database SQLite cannot open.
      {"fuzzed.mdb", nb::testing::Slurp(NB_SOURCE_DIR "/mdbstore/tests/data/damaged.mdb"), true},
      // Found by fuzzing: its table's schema row names "nBTable"; rebuilt, it held two.
      {"fuzzed-schema.mdb",
       nb::testing::Slurp(NB_SOURCE_DIR "/mdbstore/tests/data/stray-schema.mdb"), true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = desk.Path(c.name);
    Write(path, c.bytes);
    auto store = Store();
    const int boxes = desk.BoxCount();
    if (!c.opens) {
      EXPECT_FALSE(store->Open(path, true));
      EXPECT_FALSE(store->OpenForRead(path));
      EXPECT_TRUE(desk.Shown("Error: could not open file \"" + path + "\"."));
      store->AddField(Field("N", FieldType::Number, 9));
      EXPECT_FALSE(store->Create(path, false));
      EXPECT_FALSE(store->Create(path, true));
      EXPECT_EQ(desk.BoxCount(), boxes + 5);
      // Each box names the file.
      std::istringstream lines(desk.Boxes());
      int line = 0;
      for (std::string l; std::getline(lines, l);)
        if (line++ >= boxes) {
          EXPECT_NE(l.find(path), std::string::npos) << l;
        }
    } else {
      if (store->OpenForRead(path)) ReadRecords(*store);
      store->Close();
      store->AddField(Field("N", FieldType::Number, 9));
      EXPECT_FALSE(store->Create(path, false));
    }
    EXPECT_EQ(nb::testing::Slurp(path), c.bytes);
    EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
  }
  EXPECT_TRUE(desk.Shown("Unable to open table \"NBTable\" in " + desk.Path("jet.mdb") +
                         "\n\nSource: mdbstore\nError: the file is a Jet database; this store "
                         "keeps its tables in SQLite databases and does not read Jet files"));
  EXPECT_TRUE(desk.Shown("Unable to open table \"NBTable\" in " + desk.Path("junk.mdb") +
                         "\n\nSource: SQLite\nError: file is not a database"));
  EXPECT_TRUE(desk.Shown("Unable to create table \"NBTable\" in " + desk.Path("empty.mdb") +
                         "\n\n[1a, the file is empty, not an SQLite database]"));
}

TEST(MdbstoreDamaged, MissingFilesAndFolders) {
  Desk desk;
  auto store = Store();
  const std::string missing = desk.Path("missing.mdb");
  EXPECT_FALSE(store->OpenForRead(missing));
  EXPECT_TRUE(desk.Shown("Unable to open table \"NBTable\" in " + missing +
                         "\n\nSource: SQLite\nError: unable to open database file"));
  EXPECT_FALSE(std::filesystem::exists(missing));
  // A database without the table.
  Sqlite(desk.Path("other.mdb"), "'CREATE TABLE t (a)'");
  EXPECT_FALSE(store->Open(desk.Path("other.mdb"), true));
  EXPECT_TRUE(desk.Shown("Unable to open table \"NBTable\" in " + desk.Path("other.mdb") +
                         "\n\nSource: SQLite\nError: no such table: NBTable"));
  // No folder to make it in.
  store->AddField(Field("N", FieldType::Number, 9));
  const std::string nowhere = desk.Path("no/such/folder/t.mdb");
  EXPECT_FALSE(store->Create(nowhere, false));
  EXPECT_TRUE(desk.Shown("Unable to create table \"NBTable\" in " + nowhere +
                         "\n\n[No such file or directory]\n\nMost likely this file has moved "
                         "from its original location.\nPlease do a \"Save As...\" to reset its "
                         "location."));
}

}  // namespace
