// The virtual handheld folder: file names, what counts as a database, replacing files,
// damaged files and the profile.
#include "handheld.h"

#include <sys/stat.h>

#include <filesystem>

#include "hotsync_fixture.h"
#include "platform/os.h"

namespace hotsync::testing {
namespace {

TEST(HotSyncFileNames, EscapeSlashPercentAndControlCharactersOnly) {
  EXPECT_EQ(DatabaseFileName("AprInfo", false), "AprInfo.pdb");
  EXPECT_EQ(DatabaseFileName("Tools", true), "Tools.prc");
  EXPECT_EQ(DatabaseFileName("a/b%c\x01\x7f d.e", false), "a%2Fb%25c%01%7F d.e.pdb");

  std::string name;
  ASSERT_TRUE(DatabaseNameOf("a%2Fb%25c%01%7F d.e.pdb", &name));
  EXPECT_EQ(name, "a/b%c\x01\x7f d.e");
  // Only the one spelling the handheld writes is a database file.
  for (const char* other : {"a%2fb.pdb", "a%2.pdb", "a%zz.pdb", "Foo.PDB", "Foo.txt", ".pdb",
                            "a%41.pdb", "handheld.ini", "Foo.pdb.tmp"})
    EXPECT_FALSE(DatabaseNameOf(other, &name)) << other;
  EXPECT_FALSE(DatabaseNameOf(std::string(32, 'x') + ".pdb", &name));
}

class HotSyncHandheldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = MakeHandheld(prefix_.path() + "/hh", "Pat Appraiser", "4242");
    std::string error;
    auto h = Handheld::Open(folder_, &error);
    ASSERT_TRUE(h) << error;
    handheld_.emplace(*h);
  }
  nb::pdb::Database Db(const std::string& name, uint16_t attributes = 0) {
    nb::pdb::Database db;
    db.name = name;
    db.attributes = attributes;
    db.creator = 0x76584131;
    db.records.push_back(nb::pdb::Record{{1, 2, 3}});
    return db;
  }

  nb::testing::TempPrefix prefix_;
  std::string folder_;
  std::optional<Handheld> handheld_;
};

TEST_F(HotSyncHandheldTest, WritesReadsAndListsDatabasesUnderTheirNames) {
  std::string error;
  ASSERT_TRUE(handheld_->Write(Db("Sites/Rooms 100%"), &error)) << error;
  ASSERT_TRUE(handheld_->Write(Db("Forms", nb::pdb::kAttrResource), &error)) << error;
  EXPECT_TRUE(std::filesystem::exists(folder_ + "/Sites%2FRooms 100%25.pdb"));
  EXPECT_TRUE(std::filesystem::exists(folder_ + "/Forms.prc"));

  auto list = handheld_->List();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].name, "Forms");
  EXPECT_EQ(list[0].attributes & nb::pdb::kAttrResource, nb::pdb::kAttrResource);
  EXPECT_EQ(list[1].name, "Sites/Rooms 100%");
  EXPECT_EQ(list[1].creator, 0x76584131u);

  auto db = handheld_->Read("Sites/Rooms 100%", &error);
  ASSERT_TRUE(db) << error;
  EXPECT_EQ(db->records.at(0).data, (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(handheld_->user_name(), "Pat Appraiser");
  EXPECT_EQ(handheld_->user_id(), 4242u);
}

TEST_F(HotSyncHandheldTest, OtherFilesAreNeitherListedNorTouched) {
  std::ofstream(folder_ + "/notes.txt") << "mine";
  PutDatabase(folder_ + "/Foo.PDB", "Foo", 1);
  PutDatabase(folder_ + "/Wrong.pdb", "Right", 1);  // named for another database
  std::string error;
  ASSERT_TRUE(handheld_->Write(Db("Foo"), &error));
  ASSERT_TRUE(handheld_->Remove("Foo", &error));

  std::vector<std::string> problems;
  EXPECT_TRUE(handheld_->List(&problems).empty());
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_TRUE(Contains(problems[0], "Wrong.pdb")) << problems[0];
  EXPECT_EQ(Slurp(folder_ + "/notes.txt"), "mine");
  EXPECT_TRUE(std::filesystem::exists(folder_ + "/Foo.PDB"));
  EXPECT_FALSE(handheld_->Read("Wrong", &error));
}

TEST_F(HotSyncHandheldTest, ReplacingIsAtomicAndChangesKindCleanly) {
  std::string error;
  ASSERT_TRUE(handheld_->Write(Db("Apr"), &error));
  const std::string file = folder_ + "/Apr.pdb";
  const std::string before = Slurp(file);
  // The temporary file cannot be made, the disk is full, the rename fails: the old
  // database must stay whole.
  for (nb::OsCall call : {nb::OsCall::kOpen, nb::OsCall::kWrite, nb::OsCall::kRename}) {
    nb::pdb::Database bigger = Db("Apr");
    bigger.records.push_back(nb::pdb::Record{{9, 9}});
    nb::FaultyOs faulty(call, 1, ENOSPC);
    nb::ScopedOs scoped(faulty);
    EXPECT_FALSE(handheld_->Write(bigger, &error));
    EXPECT_TRUE(Contains(error, file + ": No space left on device")) << error;
    EXPECT_EQ(Slurp(file), before);
  }

  // The same name as a resource database leaves one file only.
  ASSERT_TRUE(handheld_->Write(Db("Apr", nb::pdb::kAttrResource), &error)) << error;
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_TRUE(std::filesystem::exists(folder_ + "/Apr.prc"));
  EXPECT_EQ(handheld_->List().size(), 1u);
}

TEST_F(HotSyncHandheldTest, DamagedFilesGiveAClearError) {
  std::ofstream(folder_ + "/Short.pdb") << "too short";
  nb::pdb::Database db = Db("Cut");
  ASSERT_TRUE(nb::pdb::WriteFile(folder_ + "/Cut.pdb", db));
  std::filesystem::resize_file(folder_ + "/Cut.pdb", 80);  // record list past the end

  std::string error;
  EXPECT_FALSE(handheld_->Read("Cut", &error));
  EXPECT_TRUE(Contains(error, "damaged")) << error;
  EXPECT_FALSE(handheld_->Read("Short", &error));
  EXPECT_TRUE(Contains(error, "damaged")) << error;
  EXPECT_FALSE(handheld_->Read("Missing", &error));
  EXPECT_TRUE(Contains(error, "no database \"Missing\"")) << error;

  std::vector<std::string> problems;
  auto list = handheld_->List(&problems);
  ASSERT_EQ(list.size(), 1u);  // the header of Cut is whole
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_TRUE(Contains(problems[0], "Short.pdb")) << problems[0];
}

TEST_F(HotSyncHandheldTest, ProfileErrorsAndUserUpdate) {
  std::string error;
  EXPECT_FALSE(Handheld::Open(prefix_.path() + "/none", &error));
  EXPECT_TRUE(Contains(error, "no handheld folder")) << error;
  std::filesystem::create_directories(prefix_.path() + "/bare");
  EXPECT_FALSE(Handheld::Open(prefix_.path() + "/bare", &error));
  EXPECT_TRUE(Contains(error, "handheld.ini")) << error;
  MakeHandheld(prefix_.path() + "/bad", "Pat", "12x");
  EXPECT_FALSE(Handheld::Open(prefix_.path() + "/bad", &error));
  EXPECT_TRUE(Contains(error, "\"12x\" is not a decimal number")) << error;
  MakeHandheld(prefix_.path() + "/noname", "", "1");
  EXPECT_FALSE(Handheld::Open(prefix_.path() + "/noname", &error));

  ASSERT_TRUE(handheld_->SetUser("Pat Appraiser", 77, &error)) << error;
  auto again = Handheld::Open(folder_, &error);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->user_id(), 77u);
}

TEST_F(HotSyncHandheldTest, OneSynchronisationAtATime) {
  std::string error;
  auto first = HandheldLock::Acquire(folder_, &error);
  ASSERT_TRUE(first) << error;
  EXPECT_FALSE(HandheldLock::Acquire(folder_, &error));
  EXPECT_TRUE(Contains(error, "in use")) << error;
  first.reset();
  EXPECT_TRUE(HandheldLock::Acquire(folder_, &error)) << error;
}

// The simulator's handheld: a link that drops before EndOfSync leaves the folder as it was;
// EndOfSync writes every change at once.
TEST_F(HotSyncHandheldTest, ChangesWaitForTheEndOfTheSynchronisation) {
  std::string error;
  ASSERT_TRUE(handheld_->Write(Db("Old"), &error)) << error;
  auto snapshot = [&] {
    std::string all;
    for (const auto& e : std::filesystem::directory_iterator(folder_))
      all += e.path().filename().string() + "=" + Slurp(e.path()) + "\n";
    return all;
  };
  const std::string before = snapshot();
  for (bool end : {false, true}) {
    auto h = FolderHandheld::Open(folder_, CommitAt::kEndOfSync, &error);
    ASSERT_TRUE(h) << error;
    uint8_t handle = 0;
    ASSERT_EQ(h->CreateDb({"New", 1, 2, 0, 1}, &handle), nb::dlp::kOk);
    uint32_t id = 0;
    ASSERT_EQ(h->WriteRecord(handle, {0, 0, 0, 0, {9}}, &id), nb::dlp::kOk);
    ASSERT_EQ(h->CloseDb(handle), nb::dlp::kOk);
    ASSERT_EQ(h->DeleteDb("Old"), nb::dlp::kOk);
    nb::dlp::UserInfo user;
    user.user_id = 99;
    ASSERT_EQ(h->WriteUserInfo(user, nb::dlp::kModUserId), nb::dlp::kOk);
    ASSERT_EQ(h->AddSyncLogEntry("OK\n"), nb::dlp::kOk);
    std::vector<nb::dlp::DbInfo> list;
    ASSERT_EQ(h->ReadDbList(0, &list), nb::dlp::kOk);
    ASSERT_EQ(list.size(), 1u);  // the handheld sees its own changes at once
    EXPECT_EQ(list[0].name, "New");
    if (end) {
      ASSERT_EQ(h->EndOfSync(nb::dlp::kSyncNormal), nb::dlp::kOk);
    }
    h.reset();
    if (!end) {
      EXPECT_EQ(snapshot(), before);
    }
  }
  EXPECT_FALSE(std::filesystem::exists(folder_ + "/Old.pdb"));
  auto db = Handheld::Open(folder_, &error)->Read("New", &error);
  ASSERT_TRUE(db) << error;
  EXPECT_EQ(db->records.at(0).data, std::vector<uint8_t>{9});
  EXPECT_EQ(Handheld::Open(folder_, &error)->user_id(), 99u);
  EXPECT_EQ(Slurp(folder_ + "/" + kHandheldLog), "OK\n");
}

}  // namespace
}  // namespace hotsync::testing
