// HotSync's sync and log libraries, dlopen'ed as a conduit binds them, against a virtual
// handheld folder.
#include <dlfcn.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "hotsync/log.h"
#include "hotsync/sync.h"
#include "hotsync_fixture.h"

namespace hotsync::testing {
namespace {

class HotSyncSync20Test : public ::testing::Test {
 protected:
  void SetUp() override {
    lib_ = dlopen(NB_BIN_DIR "/Sync20.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib_, nullptr) << dlerror();
    folder_ = MakeHandheld(prefix_.path() + "/hh", "Pat Appraiser", "4242");
    ASSERT_EQ(Fn<SyncBeginSessionFn>("SyncBeginSession")(folder_.c_str()), 0);
  }
  void TearDown() override {
    if (!lib_) return;
    Fn<SyncEndSessionFn>("SyncEndSession")();
    dlclose(lib_);
  }
  template <typename F>
  F Fn(const char* name) {
    auto f = reinterpret_cast<F>(dlsym(lib_, name));
    EXPECT_NE(f, nullptr) << name;
    return f;
  }
  uint8_t Create(const char* name, uint16_t flags = 0) {
    SyncCreateInfo info{};
    std::strncpy(info.name, name, sizeof info.name - 1);
    info.creator = 0x514D4E42;
    info.type = 0x44415441;
    info.flags = flags;
    info.version = 3;
    EXPECT_EQ(Fn<SyncCreateDBFn>("SyncCreateDB")(&info), 0) << name;
    return info.handle;
  }
  int32_t Write(uint8_t handle, std::vector<uint8_t> data, uint8_t attributes = 0,
                uint8_t category = 0, uint32_t id = 0) {
    SyncRecord rec{};
    rec.handle = handle;
    rec.id = id;
    rec.attributes = attributes;
    rec.category = category;
    rec.buffer = data.data();
    rec.size = uint32_t(data.size());
    return Fn<SyncWriteRecFn>("SyncWriteRec")(&rec);
  }
  int32_t Open(const char* name, uint8_t mode, uint8_t* handle) {
    return Fn<SyncOpenDBFn>("SyncOpenDB")(name, 0, handle, mode);
  }
  int32_t Close(uint8_t handle) { return Fn<SyncCloseDBFn>("SyncCloseDB")(handle); }

  nb::testing::TempPrefix prefix_;
  void* lib_ = nullptr;
  std::string folder_;
};

TEST_F(HotSyncSync20Test, CreatedDatabaseReachesItsFileOnClose) {
  uint8_t h = Create("Apr/Info");
  ASSERT_EQ(Write(h, {1, 2}, 0x40, 3), 0);
  ASSERT_EQ(Write(h, {3}), 0);
  uint8_t block[] = {'N', 'B', 'D', 'R'};
  SyncBlock app{block, sizeof block, sizeof block};
  ASSERT_EQ(Fn<SyncWriteDBAppInfoBlockFn>("SyncWriteDBAppInfoBlock")(h, &app), 0);
  const std::string file = folder_ + "/Apr%2FInfo.pdb";
  EXPECT_FALSE(std::filesystem::exists(file));  // nothing half-done on the handheld
  ASSERT_EQ(Close(h), 0);

  std::string error;
  auto db = nb::pdb::ReadFile(file, &error);
  ASSERT_TRUE(db) << error;
  EXPECT_EQ(db->name, "Apr/Info");
  EXPECT_EQ(db->version, 3);
  EXPECT_EQ(db->creator, 0x514D4E42u);
  EXPECT_EQ(db->app_info, (std::vector<uint8_t>{'N', 'B', 'D', 'R'}));
  ASSERT_EQ(db->records.size(), 2u);
  EXPECT_EQ(db->records[0].attributes, 0x40);
  EXPECT_EQ(db->records[0].category, 3);
  EXPECT_NE(db->records[0].unique_id, db->records[1].unique_id);
  EXPECT_NE(db->created, 0u);
}

// A link planted in the handheld under a database's file name is replaced, never written
// through: the file it leads to keeps its content.
TEST_F(HotSyncSync20Test, APlantedLinkIsReplacedNotWrittenThrough) {
  const std::string outside = prefix_.path() + "/outside", file = folder_ + "/Planted.pdb";
  std::ofstream(outside) << "keep";
  std::filesystem::create_symlink(outside, file);
  uint8_t h = Create("Planted");
  ASSERT_EQ(Write(h, {7}), 0);
  ASSERT_EQ(Close(h), 0);
  EXPECT_EQ(nb::testing::Slurp(outside), "keep");
  EXPECT_FALSE(std::filesystem::is_symlink(file));
  std::string error;
  ASSERT_TRUE(nb::pdb::ReadFile(file, &error)) << error;
}

TEST_F(HotSyncSync20Test, ReadsWhatTheFileHolds) {
  PutDatabase(folder_ + "/Sites.pdb", "Sites", 0x76584131, {{'a', 'b', 'c'}, {'d'}});
  uint8_t h = 0;
  ASSERT_EQ(Open("Sites", kSyncModeRead, &h), 0);
  uint16_t count = 0;
  ASSERT_EQ(Fn<SyncGetDBRecordCountFn>("SyncGetDBRecordCount")(h, &count), 0);
  EXPECT_EQ(count, 2);

  uint8_t buf[2];
  SyncRecord rec{};
  rec.handle = h;
  rec.buffer = buf;
  rec.buffer_size = sizeof buf;
  auto read = Fn<SyncReadRecordByIndexFn>("SyncReadRecordByIndex");
  ASSERT_EQ(read(&rec), 0);
  EXPECT_EQ(rec.size, 3u);  // cut to the buffer, full size told
  EXPECT_EQ(buf[1], 'b');
  rec.index = 2;
  EXPECT_EQ(read(&rec), kSyncErrNotFound);

  SyncDbInfo info{};
  ASSERT_EQ(Fn<SyncReadOpenDbInfoFn>("SyncReadOpenDbInfo")(h, &info), 0);
  EXPECT_STREQ(info.name, "Sites");
  EXPECT_EQ(info.creator, 0x76584131u);
  EXPECT_EQ(info.record_count, 2);
  SyncBlock app{buf, sizeof buf, 0};
  EXPECT_EQ(Fn<SyncReadDBAppInfoBlockFn>("SyncReadDBAppInfoBlock")(h, &app), kSyncErrNotFound);

  // Read-only handles change nothing.
  EXPECT_EQ(Write(h, {1}), kSyncErrReadOnly);
  EXPECT_EQ(Fn<SyncPurgeDeletedRecsFn>("SyncPurgeDeletedRecs")(h), kSyncErrReadOnly);
  const std::string before = Slurp(folder_ + "/Sites.pdb");
  ASSERT_EQ(Close(h), 0);
  EXPECT_EQ(Slurp(folder_ + "/Sites.pdb"), before);
  EXPECT_EQ(Close(h), kSyncErrBadHandle);

  SyncUserInfo user{};
  ASSERT_EQ(Fn<SyncReadUserIDFn>("SyncReadUserID")(&user), 0);
  EXPECT_EQ(user.user_id, 4242u);
  EXPECT_STREQ(user.name, "Pat Appraiser");
}

TEST_F(HotSyncSync20Test, ChangesThroughAWriteHandle) {
  PutDatabase(folder_ + "/T.pdb", "T", 1, {{1}, {2}, {3}});
  uint8_t h = 0;
  ASSERT_EQ(Open("T", kSyncModeRead | kSyncModeWrite, &h), 0);
  SyncRecord rec{};
  rec.handle = h;
  rec.index = 1;
  uint8_t b[4];
  rec.buffer = b;
  rec.buffer_size = sizeof b;
  ASSERT_EQ(Fn<SyncReadRecordByIndexFn>("SyncReadRecordByIndex")(&rec), 0);
  // Writing with a record's ID replaces it; deleted records go on purge.
  ASSERT_EQ(Write(h, {7, 7}, 0x80, 0, rec.id), 0);
  ASSERT_EQ(Fn<SyncPurgeDeletedRecsFn>("SyncPurgeDeletedRecs")(h), 0);
  ASSERT_EQ(Close(h), 0);
  std::string error;
  auto db = nb::pdb::ReadFile(folder_ + "/T.pdb", &error);
  ASSERT_TRUE(db) << error;
  ASSERT_EQ(db->records.size(), 2u);
  EXPECT_EQ(db->records[1].data, std::vector<uint8_t>{3});
  EXPECT_EQ(db->mod_number, 1u);
}

TEST_F(HotSyncSync20Test, ResourceDatabasesKeepTypeAndId) {
  uint8_t h = Create("Forms", kDbResource);
  uint8_t data[] = {5, 6};
  SyncRecord rec{};
  rec.handle = h;
  rec.buffer = data;
  rec.size = sizeof data;
  rec.res_type = 0x4D424152;  // MBAR
  rec.res_id = 1000;
  ASSERT_EQ(Fn<SyncWriteRecFn>("SyncWriteRec")(&rec), 0);
  ASSERT_EQ(Close(h), 0);
  std::string error;
  auto db = nb::pdb::ReadFile(folder_ + "/Forms.prc", &error);
  ASSERT_TRUE(db) << error;
  ASSERT_EQ(db->records.size(), 1u);
  EXPECT_EQ(db->records[0].res_type, 0x4D424152u);
  EXPECT_EQ(db->records[0].res_id, 1000);
}

TEST_F(HotSyncSync20Test, CreatingOverADatabaseReplacesItWithEitherKind) {
  PutDatabase(folder_ + "/Forms.pdb", "Forms", 1, {{1}, {2}});
  uint8_t h = Create("Forms", kDbResource | kDbBackup);
  uint8_t data[] = {7};
  SyncRecord rec{};
  rec.handle = h;
  rec.buffer = data;
  rec.size = sizeof data;
  rec.res_type = 0x54626D70;  // Tbmp
  rec.res_id = 2001;
  ASSERT_EQ(Fn<SyncWriteRecFn>("SyncWriteRec")(&rec), 0);
  EXPECT_TRUE(std::filesystem::exists(folder_ + "/Forms.pdb"));  // whole until the close
  ASSERT_EQ(Close(h), 0);
  EXPECT_FALSE(std::filesystem::exists(folder_ + "/Forms.pdb"));
  std::string error;
  auto db = nb::pdb::ReadFile(folder_ + "/Forms.prc", &error);
  ASSERT_TRUE(db) << error;
  EXPECT_EQ(db->attributes, kDbResource | kDbBackup);
  ASSERT_EQ(db->records.size(), 1u);
  EXPECT_EQ(db->records[0].res_id, 2001);

  ASSERT_EQ(Close(Create("Forms", kDbBackup)), 0);
  EXPECT_FALSE(std::filesystem::exists(folder_ + "/Forms.prc"));
  db = nb::pdb::ReadFile(folder_ + "/Forms.pdb", &error);
  ASSERT_TRUE(db) << error;
  EXPECT_EQ(db->attributes, kDbBackup);
  EXPECT_TRUE(db->records.empty());
}

TEST_F(HotSyncSync20Test, ConflictsAndBadArguments) {
  PutDatabase(folder_ + "/D.pdb", "D", 1);
  uint8_t a = 0, b = 0;
  ASSERT_EQ(Open("D", kSyncModeRead | kSyncModeWrite | kSyncModeExclusive, &a), 0);
  EXPECT_EQ(Open("D", kSyncModeRead, &b), kSyncErrBusy);
  EXPECT_EQ(Fn<SyncDeleteDBFn>("SyncDeleteDB")("D", 0), kSyncErrBusy);
  SyncCreateInfo info{};
  std::strcpy(info.name, "D");
  EXPECT_EQ(Fn<SyncCreateDBFn>("SyncCreateDB")(&info), kSyncErrExists);
  ASSERT_EQ(Close(a), 0);
  ASSERT_EQ(Open("D", kSyncModeRead | kSyncModeWrite, &a), 0);
  ASSERT_EQ(Open("D", kSyncModeRead, &b), 0);
  uint8_t c = 0;
  EXPECT_EQ(Open("D", kSyncModeWrite, &c), kSyncErrBusy);  // a second writer
  ASSERT_EQ(Close(a), 0);
  ASSERT_EQ(Close(b), 0);
  EXPECT_EQ(Fn<SyncDeleteDBFn>("SyncDeleteDB")("D", 0), 0);
  EXPECT_EQ(Fn<SyncDeleteDBFn>("SyncDeleteDB")("D", 0), kSyncErrNotFound);
  EXPECT_EQ(Open("D", kSyncModeRead, &a), kSyncErrNotFound);
  // The file goes when the session ends: a kill before that leaves the old database.
  EXPECT_TRUE(std::filesystem::exists(folder_ + "/D.pdb"));

  EXPECT_EQ(Fn<SyncOpenDBFn>("SyncOpenDB")("D", 1, &a, kSyncModeRead), kSyncErrBadArgument);
  EXPECT_EQ(Open(std::string(40, 'x').c_str(), kSyncModeRead, &a), kSyncErrBadArgument);
  std::memset(info.name, 'x', sizeof info.name);  // no terminating NUL
  EXPECT_EQ(Fn<SyncCreateDBFn>("SyncCreateDB")(&info), kSyncErrBadArgument);
  EXPECT_EQ(Write(99, {1}), kSyncErrBadHandle);

  std::ofstream(folder_ + "/Bad.pdb") << "not a database";
  EXPECT_EQ(Open("Bad", kSyncModeRead, &a), kSyncErrNotFound);
  ASSERT_EQ(Fn<SyncEndSessionFn>("SyncEndSession")(), 0);
  EXPECT_FALSE(std::filesystem::exists(folder_ + "/D.pdb"));
}

TEST_F(HotSyncSync20Test, BeginningRemovesWritesAKilledSessionLeft) {
  ASSERT_EQ(Fn<SyncEndSessionFn>("SyncEndSession")(), 0);
  // No process has an ID this high: its writer is gone.
  std::ofstream(folder_ + "/Half.pdb.~999999999-0") << "half a database";
  std::ofstream(folder_ + "/Notes.txt.tmp") << "not ours";
  ASSERT_EQ(Fn<SyncBeginSessionFn>("SyncBeginSession")(folder_.c_str()), 0);
  EXPECT_FALSE(std::filesystem::exists(folder_ + "/Half.pdb.~999999999-0"));
  EXPECT_TRUE(std::filesystem::exists(folder_ + "/Notes.txt.tmp"));
}

TEST_F(HotSyncSync20Test, EndingTheSessionWritesBackAndTheNextNeedsABeginning) {
  uint8_t h = Create("Left Open");
  ASSERT_EQ(Write(h, {1}), 0);
  // Another synchronisation of the same handheld has to wait.
  EXPECT_EQ(Fn<SyncBeginSessionFn>("SyncBeginSession")(folder_.c_str()), kSyncErrBusy);
  auto yield = Fn<SyncYieldCyclesFn>("SyncYieldCycles");
  yield(10);
  yield(10);
  EXPECT_EQ(Fn<SyncYieldCountFn>("SyncYieldCount")(), 2u);
  ASSERT_EQ(Fn<SyncEndSessionFn>("SyncEndSession")(), 0);
  EXPECT_TRUE(std::filesystem::exists(folder_ + "/Left Open.pdb"));
  EXPECT_EQ(Open("Left Open", kSyncModeRead, &h), kSyncErrNoHandheld);
  EXPECT_EQ(yield(10), kSyncErrNoHandheld);
  EXPECT_EQ(Fn<SyncBeginSessionFn>("SyncBeginSession")((prefix_.path() + "/no handheld").c_str()),
            kSyncErrNoHandheld);
}

TEST(HotSyncLog20, OneLinePerEntryWithOptionalTimeStamp) {
  nb::testing::TempPrefix prefix;
  void* lib = dlopen(NB_BIN_DIR "/HsLog20.so", RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  auto set = reinterpret_cast<LogSetFileFn>(dlsym(lib, "LogSetFile"));
  auto add = reinterpret_cast<LogAddEntryFn>(dlsym(lib, "LogAddEntry"));
  ASSERT_TRUE(set && add);
  EXPECT_NE(set((prefix.path() + "/missing/HotSync.Log").c_str()), 0);
  const std::string log = prefix.path() + "/HotSync.Log";
  ASSERT_EQ(set(log.c_str()), 0);
  EXPECT_EQ(add("", 19, 0), 0);
  EXPECT_EQ(add("two\nlines", -1, 1), 0);
  set(nullptr);
  EXPECT_EQ(add("only on standard error", 20, 0), 0);
  dlclose(lib);

  std::istringstream lines(Slurp(log));
  std::string first, second, third;
  std::getline(lines, first);
  std::getline(lines, second);
  EXPECT_FALSE(std::getline(lines, third));
  EXPECT_EQ(first, "19\t");
  ASSERT_EQ(second.size(), 3 + 20 + 9);
  EXPECT_EQ(second.substr(0, 3), "-1\t");
  EXPECT_EQ(second[7], '-');
  EXPECT_EQ(second[16], ':');
  EXPECT_EQ(second.substr(23), "two lines");
}

}  // namespace
}  // namespace hotsync::testing
