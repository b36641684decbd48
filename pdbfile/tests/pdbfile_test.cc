#include "pdbfile/pdbfile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "pdbfile/bytes.h"
#include "platform/os.h"
#include "test_files.h"
#include "test_prefix.h"

namespace nb::pdb {
namespace {

Database Sample(bool resource) {
  Database db;
  db.name = "EQMNB0102_SITES";
  db.attributes = resource ? kAttrResource : 0x0008;
  db.version = 3;
  db.created = 0xB0000001;
  db.modified = 0xB0000002;
  db.type = FourCC("TABL");
  db.creator = FourCC("QMNB");
  if (!resource) db.app_info = {'N', 'B', 'T', 'B', 0, 1};
  for (int i = 0; i < 3; ++i) {
    Record r;
    r.data.assign(size_t(10 + i), uint8_t('a' + i));
    r.attributes = i == 1 ? 0x80 : 0x40;
    r.category = uint8_t(i);
    r.unique_id = uint32_t(0x010203 + i);
    r.res_type = FourCC("tAIB");
    r.res_id = uint16_t(1000 + i);
    db.records.push_back(r);
  }
  return db;
}

TEST(PdbFile, RecordDatabaseLayoutAndRoundTrip) {
  Database db = Sample(false);
  auto bytes = Serialize(db);
  // Header, three 8-byte entries, two filler bytes, then the block and the records.
  ASSERT_EQ(bytes.size(), 78u + 24 + 2 + 6 + 10 + 11 + 12);
  EXPECT_EQ(Get32(&bytes[52]), 104u);  // application info just after the filler
  EXPECT_EQ(Get16(&bytes[76]), 3u);
  EXPECT_EQ(Get32(&bytes[78]), 110u);
  EXPECT_EQ(bytes[82], 0x40);  // attributes | category 0
  EXPECT_EQ(bytes[90], 0x81);
  EXPECT_EQ(Get16(&bytes[102]), 0u);

  std::string error;
  auto back = Parse(bytes, &error);
  ASSERT_TRUE(back) << error;
  EXPECT_EQ(back->name, db.name);
  EXPECT_EQ(back->app_info, db.app_info);
  ASSERT_EQ(back->records.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(back->records[i].data, db.records[i].data);
    EXPECT_EQ(back->records[i].attributes, db.records[i].attributes);
    EXPECT_EQ(back->records[i].category, db.records[i].category);
    EXPECT_EQ(back->records[i].unique_id, db.records[i].unique_id);
  }
  EXPECT_EQ(Serialize(*back), bytes);
}

TEST(PdbFile, ResourceDatabaseUsesTenByteEntries) {
  Database db = Sample(true);
  auto bytes = Serialize(db);
  EXPECT_EQ(Get32(&bytes[52]), 0u);
  EXPECT_EQ(FourCCText(Get32(&bytes[78])), "tAIB");
  EXPECT_EQ(Get16(&bytes[82]), 1000u);
  EXPECT_EQ(Get32(&bytes[84]), 78u + 30 + 2);
  auto back = Parse(bytes, nullptr);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->records[2].res_id, 1002u);
  EXPECT_EQ(back->records[2].data, db.records[2].data);
}

TEST(PdbFile, BadFilesFailWithAReason) {
  auto good = Serialize(Sample(false));
  struct Case {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> spoil;
  } cases[] = {
      {"truncated header", [](auto& b) { b.resize(60); }},
      {"count beyond list", [](auto& b) { Set16(&b[76], 5000); }},
      {"record beyond file", [](auto& b) { Set32(&b[94], uint32_t(b.size() + 1)); }},
      {"record inside list", [](auto& b) { Set32(&b[78], 20); }},
      {"app info beyond file", [](auto& b) { Set32(&b[52], 0x7FFFFFFF); }},
      {"app info inside list", [](auto& b) { Set32(&b[52], 90); }},
  };
  for (auto& c : cases) {
    auto bytes = good;
    c.spoil(bytes);
    std::string error;
    EXPECT_FALSE(Parse(bytes, &error)) << c.what;
    EXPECT_FALSE(error.empty()) << c.what;
  }
  // Empty blocks and records at the end of the file are fine.
  Database empty;
  empty.name = "x";
  EXPECT_TRUE(Parse(Serialize(empty), nullptr));
}

// Other tools lay files out differently; only what cannot be read is refused.
TEST(PdbFile, BlocksInAnyOrderAndOffsetsNeverUsed) {
  Database db = Sample(false);
  auto plain = Serialize(db);
  Set32(&plain[56], uint32_t(plain.size() + 4096));  // not a block: nothing is read there
  auto read = Parse(plain, nullptr);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->app_info, db.app_info);

  db.records[1].data.clear();  // deleted on the handheld, its offset points nowhere
  // Records stored in reverse order, the application-info block after them.
  std::vector<uint8_t> b;
  PutFixed(b, db.name, 32);
  b.resize(76, 0);
  Put16(b, 3);
  const uint32_t data = 78 + 3 * 8 + 2, r2 = data, r0 = r2 + 12, app = r0 + 10;
  for (uint32_t offset : {r0, 0u, r2}) {
    Put32(b, offset);
    Put32(b, 0);
  }
  b[82] = 0x40;
  b[90] = 0x80;
  Put16(b, 0);
  b.insert(b.end(), db.records[2].data.begin(), db.records[2].data.end());
  b.insert(b.end(), db.records[0].data.begin(), db.records[0].data.end());
  b.insert(b.end(), db.app_info.begin(), db.app_info.end());
  Set32(&b[52], app);

  for (uint32_t sort_info : {0xFFFFFFF0u, uint32_t(b.size() + 1), 12u, r0 + 3, r2}) {
    Set32(&b[56], sort_info);
    for (uint32_t deleted_at : {0u, 0x7FFFFFFFu}) {
      Set32(&b[86], deleted_at);
      std::string error;
      auto back = Parse(b, &error);
      ASSERT_TRUE(back) << sort_info << ": " << error;
      EXPECT_EQ(back->app_info, db.app_info);
      EXPECT_TRUE(back->sort_info.empty());
      ASSERT_EQ(back->records.size(), 3u);
      for (size_t i = 0; i < 3; ++i) EXPECT_EQ(back->records[i].data, db.records[i].data) << i;
      EXPECT_EQ(back->records[1].attributes, 0x80);
    }
  }
  // A sort-info block where a writer puts it splits the application-info block.
  Set32(&b[56], app + 4);
  auto back = Parse(b, nullptr);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->app_info.size(), 4u);
  EXPECT_EQ(back->sort_info.size(), 2u);
  // A live record that points nowhere cannot be read.
  b[90] = 0;
  std::string error;
  EXPECT_FALSE(Parse(b, &error));
  EXPECT_EQ(error, "record offset outside the file");
}

TEST(PdbFile, WriteFileReplacesWholeOrNotAtAll) {
  nb::testing::TempPrefix prefix;
  std::string path = prefix.path() + "/db.pdb";
  ASSERT_TRUE(WriteFile(path, Sample(false)));
  auto back = ReadFile(path, nullptr);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->records.size(), 3u);

  // A target that cannot be replaced leaves no temporary file behind.
  std::string dir = prefix.path() + "/taken.pdb";
  ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir + "/x").c_str(), 0755), 0);
  EXPECT_FALSE(WriteFile(dir, Sample(false)));
  for (const auto& e : std::filesystem::directory_iterator(prefix.path()))
    EXPECT_TRUE(e.path().filename() == "db.pdb" || e.path().filename() == "taken.pdb") << e.path();
  std::string error;
  EXPECT_FALSE(ReadFile(prefix.path() + "/missing.pdb", &error));
  EXPECT_NE(error.find("cannot open"), std::string::npos);
}

// The handheld's database file as the download writes it: a full disk or a failing rename
// leaves the old file byte for byte and names it.
TEST(PdbFile, WriteFaultsLeaveTheOldFile) {
  for (OsCall call : {OsCall::kWrite, OsCall::kRename}) {
    nb::testing::TempPrefix prefix;
    const std::string path = prefix.path() + "/db.pdb";
    ASSERT_TRUE(WriteFile(path, Sample(false)));
    const std::string before = nb::testing::Slurp(path);
    FaultyOs faulty(call, 1, ENOSPC);
    ScopedOs scoped(faulty);
    std::string error;
    EXPECT_FALSE(WriteFile(path, Sample(true), {}, &error));
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_EQ(error, "cannot write " + path + ": " + strerror(ENOSPC));
    EXPECT_EQ(nb::testing::Slurp(path), before);
  }
}

// The virtual handheld, the install folder and the local writer all write through here: a
// link planted at the name is replaced by the file, never written through.
TEST(PdbFile, WriteFileFollowsNoPlantedLink) {
  nb::testing::TempPrefix prefix;
  const std::string outside = prefix.path() + "/outside", path = prefix.path() + "/db.pdb";
  std::ofstream(outside) << "keep";
  std::filesystem::create_symlink(outside, path);
  EXPECT_TRUE(WriteFile(path, Sample(false)));
  EXPECT_EQ(nb::testing::Slurp(outside), "keep");
  EXPECT_FALSE(std::filesystem::is_symlink(path));
}

}  // namespace
}  // namespace nb::pdb
