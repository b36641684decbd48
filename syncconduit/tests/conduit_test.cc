// The conduit in a real synchronisation: the hotsync program loads syncconduit.so and the
// HotSync libraries, a listener process follows the notifications on the bus.
#include <dlfcn.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "conduit_fixture.h"
#include "platform/prefix.h"
#include "syncconduit/syncconduit.h"

namespace nb::testing {
namespace {

TEST_F(ConduitTest, EmptyQueueStartsAndFinishesWithSuccess) {
  Listener listener(this);
  EXPECT_EQ(Sync(), 0) << output_;
  EXPECT_EQ(listener.Lines(), (std::vector<std::string>{"1 0", "2 1"}));
  EXPECT_TRUE(LogHas(19, ""));
  EXPECT_TRUE(LogHas(20, "Nimbra EE"));
}

TEST_F(ConduitTest, UnimplementedAndNoOperationCommands) {
  ASSERT_EQ(Queue(kCmdDeletePilotApp, "app.pda"), 1);
  ASSERT_EQ(Queue(kCmdNoOperation, "nothing"), 1);
  Listener listener(this);
  EXPECT_NE(Sync(), 0);
  EXPECT_EQ(listener.Lines(), (std::vector<std::string>{"1 0", "3 0", "3 1", "2 0"}));
  EXPECT_TRUE(LogHas(-1, "Nimbra: DeletePilotApp not implemented."));
  EXPECT_TRUE(LogHas(21, "Nimbra EE"));
}

TEST_F(ConduitTest, HandheldWithoutDirectoryRunsNothingAndKeepsTheQueue) {
  std::filesystem::remove(handheld_ + "/NB-EE_SysHeap.pdb");
  const std::string dead_runs_mark = nb::RunDir() + "/syncconduit.running";
  std::ofstream(dead_runs_mark) << "left for the next run";
  WriteDatabase("EQMNB0100_OTHER", {});  // the conduit still runs for the creator
  ASSERT_EQ(Queue(kCmdNoOperation, "kept"), 1);
  Listener listener(this);
  EXPECT_NE(Sync(), 0);
  EXPECT_EQ(listener.Lines(), (std::vector<std::string>{"2 0"}));
  EXPECT_TRUE(LogHas(21, "Nimbra EE"));
  uint32_t type = 0;
  char name[261] = {};
  EXPECT_EQ(NB_FN(*su_, NB_GetNextCommand)(&type, name, sizeof name - 1), 1);
  EXPECT_STREQ(name, "kept");
  EXPECT_TRUE(std::filesystem::exists(dead_runs_mark));
}

TEST_F(ConduitTest, CommandQueuedByAListenerRunsInTheSameSynchronisation) {
  ASSERT_EQ(Queue(kCmdNoOperation, "first"), 1);
  Listener listener(this, {"--enqueue-on-done", "5", "table.dbf"});
  EXPECT_NE(Sync(), 0);
  EXPECT_EQ(listener.Lines(), (std::vector<std::string>{"1 0", "3 1", "3 0", "2 0"}));
  EXPECT_TRUE(LogHas(-1, "Nimbra: DeletePilotTable not implemented."));
}

// A synchronisation killed with commands in the queue: the table transfers queued in
// answer to it would write the desktop's older tables over a handheld changed since. What
// was queued before it or after it still runs.
TEST_F(ConduitTest, OnlyTheKilledSynchronisationsOwnTransfersAreDropped) {
  pid_t dead = fork();
  if (dead == 0) _exit(0);
  ASSERT_GT(dead, 0);
  waitpid(dead, nullptr, 0);
  const std::string mark = nb::RunDir() + "/syncconduit.running";
  // Its process ID, then its own commands: end slot, count and open flag in one word.
  auto write_mark = [&](int32_t end, int32_t count, bool open) {
    const int32_t words[2] = {dead, end | count << 9 | int32_t(open) << 19};
    std::ofstream(mark, std::ios::binary).write(reinterpret_cast<const char*>(words), sizeof words);
  };
  // Its own three commands wrap round the ring's end: slots 511, 0 and 1.
  for (int i = 0; i < 510; ++i) ASSERT_EQ(Queue(kCmdNoOperation, "x"), 1);
  ASSERT_EQ(Queue(kCmdNoOperation, "queued before"), 1);
  uint32_t type = 0;
  for (int i = 0; i < 510; ++i) ASSERT_EQ(NB_FN(*su_, NB_GetNextCommand)(&type, nullptr, 0), 1);
  ASSERT_EQ(Queue(kCmdDownloadTable, "C:\\Tables\\AprSubj.dbf"), 1);
  ASSERT_EQ(Queue(kCmdNoOperation, "kept"), 1);
  ASSERT_EQ(Queue(kCmdUploadTable, "C:\\Tables\\AprSite.dbf"), 1);
  write_mark(2, 3, false);
  const std::string torn = mark + ".~" + std::to_string(dead) + "-1";
  std::ofstream(torn) << dead;
  ASSERT_EQ(Queue(kCmdDownloadTable, "C:\\Tables\\Later.dbf"), 1);
  Listener listener(this);
  EXPECT_NE(Sync(), 0) << output_;
  EXPECT_EQ(listener.Lines(), (std::vector<std::string>{"1 0", "3 1", "3 1", "3 0", "2 0"}));
  EXPECT_TRUE(LogHas(-1,
                     "Nimbra: the last synchronisation was interrupted; 2 table transfers it "
                     "left in the queue were not carried out."));
  EXPECT_TRUE(LogHas(-1, "  -- Downloading of table C:\\Tables\\Later.dbf to handheld failed."));
  EXPECT_FALSE(std::filesystem::exists(mark));
  EXPECT_FALSE(std::filesystem::exists(torn));

  // Emptied and filled again since the kill: nothing queued now is the dead run's.
  write_mark(5, 2, false);
  ASSERT_EQ(Queue(kCmdUploadTable, "C:\\Tables\\Again.dbf"), 1);
  EXPECT_NE(Sync(), 0) << output_;
  EXPECT_TRUE(LogHas(-1,
                     "Nimbra: the last synchronisation was interrupted; 0 table transfers it "
                     "left in the queue were not carried out."));
  EXPECT_TRUE(LogHas(-1, "  -- Uploading of table C:\\Tables\\Again.dbf from handheld failed."));

  // Killed while a notification was out: a handler may have queued after the kill.
  write_mark(0, 0, true);
  ASSERT_EQ(Queue(kCmdUploadTable, "C:\\Tables\\Late.dbf"), 1);
  EXPECT_EQ(Sync(), 0) << output_;
  EXPECT_TRUE(LogHas(-1,
                     "Nimbra: the last synchronisation was interrupted; 1 table transfers it "
                     "left in the queue were not carried out."));
}

TEST_F(ConduitTest, RaisedWaitFlagHoldsTheSynchronisation) {
  Listener listener(this, {"--hold", "1200"});
  EXPECT_EQ(Sync(), 0) << output_;
  // The conduit waited for the listener before it went on.
  EXPECT_EQ(listener.Lines(), (std::vector<std::string>{"1 0", "released", "2 1"}));
}

TEST_F(ConduitTest, InstallFileGoesToTheInstallFolderAndOntoTheHandheld) {
  std::string source = prefix_.path() + "/Extra.pdb";
  WriteDatabaseFile(source, "ExtraDB", {{'h', 'i'}});
  ASSERT_EQ(Queue(kCmdInstallFile, source.c_str()), 1);
  EXPECT_EQ(Sync(), 0) << output_;
  EXPECT_TRUE(std::filesystem::exists(handheld_ + "/ExtraDB.pdb")) << output_;
}

TEST(ConduitEntries, PdbFileWriteDocumentRunsAsCommandTenAgainstTheLocalWriter) {
  TempPrefix prefix;
  const std::string ui_log = prefix.path() + "/ui.log";
  setenv("NB_UI_LOG", ui_log.c_str(), 1);
  SyncUtil su;
  void* lib = dlopen(NB_BIN_DIR "/syncconduit.so", RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  auto write =
      reinterpret_cast<decltype(&PdbFileWriteDocument)>(dlsym(lib, "PdbFileWriteDocument"));
  ASSERT_NE(write, nullptr);
  EXPECT_EQ(write("C:\\Apps\\Missing.pda", pdb::FourCC("ABCD"), 1, 1, 0), 0);
  EXPECT_EQ(NB_FN(su, NB_GetCmdType)(), uint32_t(kCmdPdbFileWriteDocument));
  char current[261] = {};
  NB_FN(su, NB_GetCmdFilename)(current, sizeof current);
  EXPECT_STREQ(current, "C:\\Apps\\Missing.pda");
  // The failed download reported through the local writer's log: a "PDB FILE" box.
  EXPECT_NE(Slurp(ui_log).find("{\"caption\": \"PDB FILE\""), std::string::npos) << Slurp(ui_log);
  dlclose(lib);
  unsetenv("NB_UI_LOG");
}

TEST(ConduitEntries, NameVersionInfoAndConfiguration) {
  TempPrefix prefix;
  void* lib = dlopen(NB_BIN_DIR "/syncconduit.so", RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(lib, nullptr) << dlerror();
  auto info = reinterpret_cast<GetConduitInfoFn>(dlsym(lib, "GetConduitInfo"));
  auto name = reinterpret_cast<GetConduitNameFn>(dlsym(lib, "GetConduitName"));
  auto version = reinterpret_cast<GetConduitVersionFn>(dlsym(lib, "GetConduitVersion"));
  auto configure = reinterpret_cast<ConfigureConduitFn>(dlsym(lib, "ConfigureConduit"));
  ASSERT_TRUE(info && name && version && configure);

  char buffer[32];
  int args = 0;
  uint32_t size = 18;
  EXPECT_EQ(info(0, &args, buffer, &size), 4211);
  size = 19;
  EXPECT_EQ(info(0, &args, buffer, &size), 0);
  EXPECT_STREQ(buffer, "Nimbra EE");
  EXPECT_EQ(info(0, nullptr, buffer, &size), 4211);
  uint32_t framework = 0;
  size = 4;
  EXPECT_EQ(info(1, nullptr, &framework, &size), 0);
  EXPECT_EQ(framework, 0x0600u);
  size = 8;
  EXPECT_EQ(info(1, nullptr, &framework, &size), 4211);
  EXPECT_EQ(info(7, nullptr, &framework, &size), 4208);

  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(name(buffer, 5), 0);
  EXPECT_STREQ(buffer, "Nimb");
  EXPECT_EQ(buffer[5], 'x');
  EXPECT_EQ(version(), 257u);
  HsConduitPreferences prefs{0, 9, 9};
  EXPECT_EQ(configure(&prefs), 0);
  EXPECT_EQ(prefs.sync_type, 0u);
  EXPECT_EQ(prefs.pref_kind, 1u);
  dlclose(lib);
}

}  // namespace
}  // namespace nb::testing
