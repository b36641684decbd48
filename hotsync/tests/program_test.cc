// The hotsync program's commands, run as real processes on a fresh desktop.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>

#include "hotsync_fixture.h"
#include "pdbfile/bytes.h"
#include "pdbfile/pdbfile.h"
#include "platform/registry.h"

namespace hotsync::testing {
namespace {

using nb::reg::Hive;

constexpr char kPalm[] = "Software\\Palm Computing\\Pilot Desktop";
const std::string kTestConduit = NB_BIN_DIR "/hs_test_conduit.so";

class HotSyncProgramTest : public HotSyncTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(HotSync("init"), 0) << output_;
    handheld_ = MakeHandheld(prefix_.path() + "/hh", "Pat Appraiser", "4242");
    conduit_log_ = prefix_.path() + "/conduits.txt";
    setenv("HS_TEST_CONDUIT_LOG", conduit_log_.c_str(), 1);
    unsetenv("HS_TEST_CONDUIT_RESULT");
    unsetenv("HS_TEST_CONDUIT_MAKE");
    unsetenv("HS_TEST_CONDUIT_BOX");
  }
  int Sync() { return HotSync("sync --handheld '" + handheld_ + "'"); }
  std::string AllRegistry() {
    return nb::reg::Export(Hive::kLocalMachine, "SOFTWARE") +
           nb::reg::Export(Hive::kCurrentUser, "Software");
  }

  std::string handheld_;
  std::string conduit_log_;
};

TEST_F(HotSyncProgramTest, InitSetsUpTheDesktopOnceAndThenChangesNothing) {
  EXPECT_EQ(nb::reg::GetString(Hive::kCurrentUser, std::string(kPalm) + "\\Core", "HotSyncPath"),
            "C:\\Palm\\HotSync.exe");
  EXPECT_TRUE(nb::reg::KeyExists(Hive::kCurrentUser, std::string(kPalm) + "\\HotSync Manager"));
  EXPECT_TRUE(
      nb::reg::KeyExists(Hive::kLocalMachine, "SOFTWARE\\Palm Computing\\Pilot Desktop\\4.0"));
  for (const char* lib : {"Sync20.so", "HsLog20.so", "Cmds21.so", "HsUsers20.so", "HotSync.exe"})
    EXPECT_TRUE(std::filesystem::exists(Drive("Palm/") + lib)) << lib;
  EXPECT_TRUE(std::filesystem::is_directory(Drive("Program Files/Nimbra/Bin/NDDI")));
  EXPECT_TRUE(std::filesystem::is_directory(Drive("Program Files/Nimbra/Bin/NBDDB")));
  if (std::filesystem::exists(NB_BIN_DIR "/pdbdevice.so")) {
    EXPECT_TRUE(std::filesystem::exists(Drive("Program Files/Nimbra/Bin/NDDI/pdbdevice.so")));
  }

  const std::string registry = AllRegistry();
  const std::string users = Slurp(Drive("Palm/Data/Users.ini"));
  struct stat before;
  ASSERT_EQ(lstat(Drive("Palm/Sync20.so").c_str(), &before), 0);
  ASSERT_EQ(HotSync("init"), 0) << output_;
  EXPECT_TRUE(Contains(output_, "was already set up")) << output_;
  EXPECT_EQ(AllRegistry(), registry);
  EXPECT_EQ(Slurp(Drive("Palm/Data/Users.ini")), users);
  struct stat after;
  ASSERT_EQ(lstat(Drive("Palm/Sync20.so").c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);

  // A stale library is put right, a value already set is kept.
  std::filesystem::remove(Drive("Palm/Sync20.so"));
  std::ofstream(Drive("Palm/Sync20.so")) << "old build";
  nb::reg::SetString(Hive::kCurrentUser, std::string(kPalm) + "\\Core", "Path", "C:\\Sync\\");
  ASSERT_EQ(HotSync("init"), 0) << output_;
  EXPECT_EQ(Slurp(Drive("Palm/Sync20.so")), Slurp(NB_BIN_DIR "/Sync20.so"));
  EXPECT_EQ(nb::reg::GetString(Hive::kCurrentUser, std::string(kPalm) + "\\Core", "Path"),
            "C:\\Sync\\");
}

TEST_F(HotSyncProgramTest, UsersAreListedAndAdded) {
  // No user is invented, also not for a script that still names one to init.
  ASSERT_EQ(HotSync("init --user 'Old Script'"), 0) << output_;
  ASSERT_EQ(HotSync("users"), 0) << output_;
  EXPECT_EQ(output_, "no HotSync users\n");
  ASSERT_EQ(HotSync("users add 'Sam Surveyor' --id 77"), 0) << output_;
  ASSERT_EQ(HotSync("users"), 0) << output_;
  EXPECT_TRUE(Contains(output_, "77\tSam Surveyor\t" + Drive("Palm/Data/Sam Surveyor"))) << output_;
  EXPECT_EQ(HotSync("users add 'sam surveyor'"), 1);
  EXPECT_TRUE(Contains(output_, "already exists (ID 77)")) << output_;
  EXPECT_EQ(HotSync("users add " + std::string(32, 'x')), 1);
  EXPECT_EQ(HotSync("users add Bob --id twelve"), 2);
}

TEST_F(HotSyncProgramTest, LoadingUsersRemovesTheTemporaryOfAKilledSave) {
  const pid_t dead = fork();
  if (dead == 0) _exit(0);
  waitpid(dead, nullptr, 0);
  const std::string temp = Drive("Palm/Data/Users.ini.~") + std::to_string(dead) + "-0";
  std::ofstream(temp) << "[User1]\r\nName=half";
  ASSERT_EQ(HotSync("users"), 0) << output_;
  EXPECT_EQ(output_, "no HotSync users\n");
  EXPECT_FALSE(std::filesystem::exists(temp));
}

TEST_F(HotSyncProgramTest, ConduitsAreRegisteredOncePerCreatorAndListed) {
  ASSERT_EQ(HotSync("conduits add QMNB"), 0) << output_;
  ASSERT_EQ(HotSync("conduits add vXA1 " + kTestConduit + " --name 'Appraisals'"), 0) << output_;
  ASSERT_EQ(HotSync("conduits add QMNB " + kTestConduit), 0) << output_;
  ASSERT_EQ(HotSync("conduits"), 0) << output_;
  EXPECT_EQ(output_, "QMNB\tNimbra EE App\t" + kTestConduit + "\tApplicationNimbraEE\n" +
                         "vXA1\tAppraisals\t" + kTestConduit + "\tApplicationNimbra_OEM_vXA1\n");
  EXPECT_EQ(nb::reg::GetString(Hive::kCurrentUser, std::string(kPalm) + "\\ApplicationNimbraEE",
                               "Remote0"),
            "NimbraEE");

  EXPECT_EQ(HotSync("conduits add ABC"), 2);
  EXPECT_EQ(HotSync("conduits add ABCD /nowhere/conduit.so"), 1);
  EXPECT_TRUE(Contains(output_, "no conduit library")) << output_;
  // A library that is no conduit stays unregistered; a removed creator is gone.
  EXPECT_EQ(HotSync("conduits add ABCD " NB_BIN_DIR "/HsLog20.so"), 1);
  EXPECT_TRUE(Contains(output_, "does not export OpenConduit")) << output_;
  ASSERT_EQ(HotSync("conduits remove vXA1"), 0) << output_;
  EXPECT_EQ(HotSync("conduits remove vXA1"), 1);
  ASSERT_EQ(HotSync("conduits"), 0) << output_;
  EXPECT_EQ(output_, "QMNB\tNimbra EE App\t" + kTestConduit + "\tApplicationNimbraEE\n");
}

// The plug-ins moved with the installation: init makes each registration whose file is gone
// name this installation's plug-in of that name and leaves the others.
TEST_F(HotSyncProgramTest, InitRepointsRegistrationsOfPluginsThatMoved) {
  const std::string old_dir = prefix_.path() + "/old", kept = prefix_.path() + "/kept/a.so";
  const std::string syncconduit = NB_BIN_DIR "/syncconduit.so";
  const struct {
    std::string creator, registered, after, said;
  } cases[] = {
      {"QMNB", old_dir + "/syncconduit.so", syncconduit, "it is now " + syncconduit},
      {"vXA1", old_dir + "/hs_test_conduit.so", kTestConduit, "it is now " + kTestConduit},
      {"AAAA", kept, kept, ""},
      {"LOST", old_dir + "/lost.so", old_dir + "/lost.so", "has none of that name"},
  };
  std::filesystem::create_directories(old_dir);
  std::filesystem::create_directories(prefix_.path() + "/kept");
  for (const auto& c : cases) {
    const bool qmnb = c.creator == "QMNB";
    std::filesystem::copy_file(qmnb ? syncconduit : kTestConduit, c.registered);
    ASSERT_EQ(HotSync("conduits add " + c.creator + " '" + c.registered + "'"), 0) << output_;
  }
  std::filesystem::remove_all(old_dir);
  ASSERT_EQ(HotSync("init"), 0) << output_;
  const std::string said = output_;
  ASSERT_EQ(HotSync("conduits"), 0) << output_;
  for (const auto& c : cases) {
    EXPECT_TRUE(Contains(said, c.said)) << c.creator << "\n" << said;
    EXPECT_TRUE(Contains(output_, c.creator + "\tNimbra EE App\t" + c.after + "\t")) << output_;
  }
  PutDatabase(handheld_ + "/V.pdb", "V", 0x76584131);  // vXA1
  ASSERT_EQ(Sync(), 0) << output_;
  EXPECT_EQ(Slurp(conduit_log_), "vXA1 Pat Appraiser 4242 Pat Appraiser\n");
}

TEST_F(HotSyncProgramTest, FilesQueuedFromTheCommandLineReachTheHandheld) {
  nb::pdb::Database db;
  db.name = "Queued Notes";
  db.type = nb::pdb::FourCC("DATA");
  db.creator = nb::pdb::FourCC("NOTE");
  db.records.resize(3);
  const std::string file = prefix_.path() + "/notes.pdb", junk = prefix_.path() + "/junk.pdb";
  ASSERT_TRUE(nb::pdb::WriteFile(file, db));
  std::ofstream(junk) << "not a database";
  ASSERT_EQ(Sync(), 0) << output_;  // the handheld's user becomes the last one
  EXPECT_EQ(HotSync("install '" + file + "' '" + junk + "'"), 1);
  EXPECT_FALSE(std::filesystem::exists(Drive("Palm/Data/Pat Appraiser/Install/notes.pdb")));
  // A copy that fails half-way leaves nothing of the database to install.
  EXPECT_EQ(Shell("NB_FAULT=write:1:ENOSPC:notes.pdb " NB_BIN_DIR "/hotsync install '" + file + "'",
                  &output_),
            1);
  EXPECT_TRUE(Contains(output_, "notes.pdb: No space left on device")) << output_;
  EXPECT_TRUE(std::filesystem::is_empty(Drive("Palm/Data/Pat Appraiser/Install")));
  ASSERT_EQ(HotSync("install '" + file + "'"), 0) << output_;
  ASSERT_EQ(Sync(), 0) << output_;
  ASSERT_EQ(HotSync("list --handheld '" + handheld_ + "'"), 0) << output_;
  EXPECT_TRUE(Contains(output_, "Queued Notes")) << output_;
  EXPECT_TRUE(std::regex_search(output_, std::regex("Queued Notes +DATA NOTE +3 +\\d+\n")))
      << output_;
}

TEST_F(HotSyncProgramTest, SyncRunsTheConduitsOfCreatorsOnTheHandheldInRegistryOrder) {
  ASSERT_EQ(HotSync("conduits add BBBB " + kTestConduit), 0);
  ASSERT_EQ(HotSync("conduits add CCCC " + kTestConduit), 0);
  ASSERT_EQ(HotSync("conduits add AAAA " + kTestConduit), 0);
  PutDatabase(handheld_ + "/A.pdb", "A", 0x41414141);
  PutDatabase(handheld_ + "/B.pdb", "B", 0x42424242);
  ASSERT_EQ(Sync(), 0) << output_;
  EXPECT_EQ(Slurp(conduit_log_),
            "BBBB Pat Appraiser 4242 Pat Appraiser\n"
            "AAAA Pat Appraiser 4242 Pat Appraiser\n");
  EXPECT_TRUE(Contains(output_, "no database of 'CCCC' on the handheld")) << output_;
  EXPECT_TRUE(Contains(output_, "new HotSync user \"Pat Appraiser\" (ID 4242)")) << output_;

  // A box raised inside the synchronisation does not wait for a person, and the log says so.
  const std::string ui_log = prefix_.path() + "/ui.log";
  setenv("NB_UI_LOG", ui_log.c_str(), 1);
  setenv("HS_TEST_CONDUIT_BOX", "disk full", 1);
  EXPECT_EQ(Sync(), 0) << output_;
  unsetenv("NB_UI_LOG");
  unsetenv("HS_TEST_CONDUIT_BOX");
  EXPECT_TRUE(Contains(Slurp(ui_log),
                       "{\"caption\": \"Test Conduit\", \"text\": \"disk full\", "
                       "\"answer\": \"timeout\", \"icon\": \"exclamation\"}"))
      << Slurp(ui_log);

  // Any conduit failing fails the synchronisation; the others still run.
  setenv("HS_TEST_CONDUIT_RESULT", "4107", 1);
  EXPECT_EQ(Sync(), 1) << output_;
  EXPECT_TRUE(Contains(output_, "failed (4107)")) << output_;
  EXPECT_FALSE(Contains(output_, "new HotSync user")) << output_;
}

TEST_F(HotSyncProgramTest, ADatabaseMadeByAnEarlierConduitCountsForTheLaterOnes) {
  ASSERT_EQ(HotSync("conduits add AAAA " + kTestConduit), 0);
  ASSERT_EQ(HotSync("conduits add BBBB " + kTestConduit), 0);
  PutDatabase(handheld_ + "/A.pdb", "A", 0x41414141);
  setenv("HS_TEST_CONDUIT_MAKE", "Made/By AAAA", 1);
  ASSERT_EQ(Sync(), 0) << output_;
  EXPECT_TRUE(std::filesystem::exists(handheld_ + "/Made%2FBy AAAA.pdb"));
  EXPECT_TRUE(Contains(Slurp(conduit_log_), "BBBB Pat Appraiser")) << Slurp(conduit_log_);
}

TEST_F(HotSyncProgramTest, AHandheldWithoutUserIdGetsOne) {
  MakeHandheld(handheld_, "New Hand", "0");
  ASSERT_EQ(Sync(), 0) << output_;
  std::string error;
  std::string ini = Slurp(handheld_ + "/handheld.ini");
  EXPECT_FALSE(Contains(ini, "UserID=0\r\n")) << ini;
  ASSERT_EQ(HotSync("users"), 0);
  EXPECT_TRUE(Contains(output_, "\tNew Hand\t")) << output_;
  // The next synchronisation finds the same user by that ID.
  ASSERT_EQ(Sync(), 0) << output_;
  EXPECT_FALSE(Contains(output_, "new HotSync user")) << output_;
}

TEST_F(HotSyncProgramTest, InstallFolderGoesOntoTheHandheldAndBadFilesStay) {
  ASSERT_EQ(HotSync("users add 'Pat Appraiser' --id 4242"), 0) << output_;
  const std::string install = Drive("Palm/Data/Pat Appraiser/Install");
  std::filesystem::create_directories(install);
  PutDatabase(install + "/whatever name.pdb", "Tools/Extra", 0x514D4E42, {{1}});
  std::ofstream(install + "/broken.prc") << "nothing";
  // A dBASE memo file parses as an empty database with a nonsense name.
  std::string memo(512, '\0');
  memo[0] = 1;
  std::ofstream(install + "/AprInfo.dbt", std::ios::binary) << memo;
  std::ofstream(install + "/memo.pdb", std::ios::binary) << memo;
  const std::string key = std::string(kPalm) + "\\HotSync Manager";

  // A copy cut short before the flag was set left its temporary.
  const pid_t dead = fork();
  if (dead == 0) _exit(0);
  waitpid(dead, nullptr, 0);
  const std::string temp = install + "/late.prc.~" + std::to_string(dead) + "-0";
  std::ofstream(temp) << "half";

  // Without the user's install flag nothing is installed, but the remains go.
  EXPECT_EQ(Sync(), 0) << output_;
  EXPECT_TRUE(std::filesystem::exists(install + "/whatever name.pdb"));
  EXPECT_FALSE(std::filesystem::exists(temp));

  nb::reg::SetDword(Hive::kCurrentUser, key, "Install4242", 1);
  EXPECT_EQ(Sync(), 1) << output_;
  EXPECT_TRUE(std::filesystem::exists(handheld_ + "/Tools%2FExtra.pdb"));
  EXPECT_FALSE(std::filesystem::exists(install + "/whatever name.pdb"));
  for (const char* junk : {"broken.prc", "AprInfo.dbt", "memo.pdb"}) {
    EXPECT_TRUE(std::filesystem::exists(install + "/" + junk)) << junk;
    EXPECT_TRUE(Contains(output_, std::string("cannot install ") + junk)) << output_;
  }
  size_t on_handheld = 0;
  for (auto& e : std::filesystem::directory_iterator(handheld_))
    on_handheld += e.path().extension() == ".pdb";
  EXPECT_EQ(on_handheld, 1u);
  // Junk does not hold the flag: the folder is done.
  EXPECT_EQ(nb::reg::GetDword(Hive::kCurrentUser, key, "Install4242"), 0u);
}

TEST_F(HotSyncProgramTest, LogShowsTheLastUserOrTheNamedOne) {
  EXPECT_EQ(HotSync("log"), 1);
  EXPECT_TRUE(Contains(output_, "no synchronisation yet")) << output_;
  ASSERT_EQ(HotSync("users add 'HotSync User'"), 0) << output_;
  std::ofstream(Drive("Palm/Data/HotSync User/HotSync.Log")) << "19\t\n";
  ASSERT_EQ(HotSync("log --raw --user 'hotsync user'"), 0) << output_;
  EXPECT_EQ(output_, "19\t\n");
  ASSERT_EQ(HotSync("users add Sam"), 0);
  EXPECT_EQ(HotSync("log --user Sam"), 1);
  EXPECT_TRUE(Contains(output_, "\"Sam\" has no log yet")) << output_;
  // Each synchronisation is a block of its own, even one without a conduit.
  ASSERT_EQ(Sync(), 0) << output_;
  ASSERT_EQ(Sync(), 0) << output_;
  ASSERT_EQ(HotSync("log"), 0) << output_;
  // The first block notes the new user; a blank line between the blocks.
  EXPECT_EQ(std::count(output_.begin(), output_.end(), '\n'), 4) << output_;
  EXPECT_TRUE(Contains(output_, "new HotSync user \"Pat Appraiser\" (ID 4242)")) << output_;
  EXPECT_TRUE(
      Contains(output_, "HotSync of \"Pat Appraiser\", handheld " + handheld_ + ": completed"))
      << output_;
  ASSERT_EQ(HotSync("log --last"), 0) << output_;
  EXPECT_EQ(std::count(output_.begin(), output_.end(), '\n'), 1) << output_;
  EXPECT_EQ(HotSync("log --user Nobody"), 1);
}

// A log keeps the last 100 synchronisations: a new one pushes the oldest out, and with them
// entries from before synchronisations were framed.
TEST_F(HotSyncProgramTest, TheLogKeepsTheLastHundredSynchronisations) {
  ASSERT_EQ(Sync(), 0) << output_;
  const std::string log = Drive("Palm/Data/Pat Appraiser/HotSync.Log");
  const struct {
    int before;
    bool unframed, unframed_kept;
  } cases[] = {{0, false, false},
               {98, true, true},
               {99, true, true},
               {104, false, false},
               {150, true, false}};
  for (const auto& c : cases) {
    std::ofstream old(log, std::ios::trunc);
    if (c.unframed) old << "-1\tunframed\n";
    for (int i = 0; i < c.before; ++i)
      old << "100\tsynchronisation of \"old " << i << "\", handheld x\n-1\tnote\n101\tcompleted\n";
    old.close();
    ASSERT_EQ(Sync(), 0) << output_;
    const std::string text = Slurp(log);
    const int first_kept = std::max(0, c.before - 99);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'),
              3 * (c.before - first_kept) + 2 + c.unframed_kept)
        << c.before;
    EXPECT_EQ(text.rfind("-1\tunframed\n", 0) == 0, c.unframed_kept) << c.before;
    if (c.before) {
      EXPECT_EQ(text.find("\"old "), text.find("\"old " + std::to_string(first_kept) + "\""))
          << c.before;
    }
    EXPECT_TRUE(Contains(text, "synchronisation of \"Pat Appraiser\"")) << c.before;
  }
}

TEST_F(HotSyncProgramTest, TheLogSaysWhyASynchronisationFailed) {
  const std::string install = Drive("Palm/Data/Pat Appraiser/Install"), moved = Drive("moved.so");
  struct Case {
    const char* what;
    std::function<void()> arrange;
    std::vector<std::string> logged;
  } cases[] = {
      {"a file in the install folder",
       [&] {
         std::filesystem::create_directories(install);
         PutDatabase(install + "/extra.pdb", "Extra", 0x514D4E42);
         std::ofstream(install + "/broken.prc") << "nothing";
         nb::reg::SetDword(Hive::kCurrentUser, std::string(kPalm) + "\\HotSync Manager",
                           "Install4242", 1);
       },
       {"installed \"Extra\" on the handheld from extra.pdb", "cannot install broken.prc: "}},
      {"conduit library missing",
       [&] {
         std::filesystem::copy_file(kTestConduit, moved);
         ASSERT_EQ(HotSync("conduits add AAAA '" + moved + "'"), 0) << output_;
         PutDatabase(handheld_ + "/A.pdb", "A", 0x41414141);
         std::filesystem::remove(moved);
       },
       {"cannot load the conduit \"Nimbra EE App\" for 'AAAA': " + moved}},
      {"user library missing",
       [&] { std::filesystem::remove(Drive("Palm/HsUsers20.so")); },
       {"cannot load HotSync's user library " + Drive("Palm/HsUsers20.so")}},
      {"handheld without its profile",
       [&] { std::filesystem::remove(handheld_ + "/handheld.ini"); },
       {"is not a virtual handheld: it has no handheld.ini"}},
  };
  for (const Case& c : cases) {
    c.arrange();
    EXPECT_EQ(Sync(), 1) << c.what << "\n" << output_;
    ASSERT_EQ(HotSync("log --last"), 0) << c.what << "\n" << output_;
    EXPECT_TRUE(Contains(output_, "finished with errors")) << c.what << "\n" << output_;
    for (const std::string& line : c.logged)
      EXPECT_TRUE(Contains(output_, line)) << c.what << "\n" << output_;
  }
}

TEST_F(HotSyncProgramTest, ASecondSynchronisationWaitsAndAKilledOneHoldsNothing) {
  ASSERT_EQ(HotSync("conduits add AAAA " + kTestConduit), 0);
  PutDatabase(handheld_ + "/A.pdb", "A", 0x41414141);
  // Held here as a running synchronisation holds it.
  std::filesystem::create_directories(prefix_.path() + "/run/hotsync");
  const int held = open((prefix_.path() + "/run/hotsync/synchronisation.lock").c_str(),
                        O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  const std::string out = prefix_.path() + "/second.out";
  FILE* second =
      popen(("exec " NB_BIN_DIR "/hotsync sync --handheld '" + handheld_ + "' >'" + out + "' 2>&1")
                .c_str(),
            "r");
  ASSERT_TRUE(second);
  for (int i = 0; i < 3000 && !Contains(Slurp(out), "Waiting for the synchronisation"); ++i)
    usleep(10000);
  EXPECT_TRUE(Contains(Slurp(out),
                       "Waiting for the synchronisation already running on this "
                       "desktop to finish ..."))
      << Slurp(out);
  EXPECT_EQ(Slurp(conduit_log_), "");  // it has not begun
  close(held);
  EXPECT_EQ(pclose(second), 0) << Slurp(out);
  EXPECT_EQ(Slurp(conduit_log_), "AAAA Pat Appraiser 4242 Pat Appraiser\n");

  // Killed in the middle of its synchronisation, a holder leaves the lock to the kernel.
  EXPECT_NE(Shell("NB_FAULT=write:1:crash:HotSync.Log " NB_BIN_DIR "/hotsync sync --handheld '" +
                      handheld_ + "'",
                  &output_),
            0);
  ASSERT_EQ(Sync(), 0) << output_;
  EXPECT_FALSE(Contains(output_, "Waiting")) << output_;
}

TEST_F(HotSyncProgramTest, BadInputGetsAClearMessage) {
  EXPECT_EQ(HotSync("sync --handheld '" + prefix_.path() + "/none'"), 1);
  EXPECT_TRUE(Contains(output_, "no handheld folder")) << output_;
  EXPECT_EQ(HotSync("sync"), 2);
  EXPECT_TRUE(Contains(output_, "--handheld DIR is needed")) << output_;
  EXPECT_EQ(HotSync("frobnicate"), 2);
  EXPECT_EQ(HotSync("log --verbose"), 2);
  EXPECT_TRUE(Contains(output_, "unknown option --verbose")) << output_;

  nb::reg::DeleteKey(Hive::kCurrentUser, kPalm);
  EXPECT_EQ(Sync(), 1);
  EXPECT_TRUE(Contains(output_, "run \"hotsync init\" first")) << output_;
}

TEST(HotSyncProgramHelp, EveryCommandHasHelp) {
  nb::testing::TempPrefix prefix;
  std::string out;
  ASSERT_EQ(Shell(NB_BIN_DIR "/hotsync --help", &out), 0);
  EXPECT_TRUE(Contains(out, "usage: hotsync")) << out;
  for (const char* c : {"init", "users", "conduits", "sync", "run", "press", "log"}) {
    ASSERT_EQ(Shell(std::string(NB_BIN_DIR "/hotsync ") + c + " --help", &out), 0) << c;
    EXPECT_TRUE(Contains(out, std::string("usage: hotsync ") + c)) << out;
  }
  // Help changes nothing on the desktop.
  EXPECT_FALSE(std::filesystem::exists(prefix.path() + "/user.reg"));
}

}  // namespace
}  // namespace hotsync::testing
