#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/os.h"
#include "platform/prefix.h"
#include "platform/registry.h"
#include "syncutil_loader.h"
#include "test_prefix.h"

namespace {

using nb::reg::Hive;
using nb::testing::SyncUtil;
using nb::testing::TempPrefix;

const char kPalmUser[] = "Software\\Palm Computing\\Pilot Desktop";
const char kPalmMachine[] = "SOFTWARE\\Palm Computing\\Pilot Desktop";

std::string Str(size_t (*get)(char*, size_t)) {
  char buf[1024];
  get(buf, sizeof buf);
  return buf;
}

// A desktop with the runtime key, the Palm keys and HotSync's user library in place.
void SetUpDesktop(const std::string& data_dir = "C:\\Palm\\Data\\") {
  nb::reg::SetString(Hive::kLocalMachine, "SOFTWARE\\Corvane\\Nimbra Enterprise\\CurrentVersion",
                     "Keyname", "3.0");
  nb::reg::SetString(Hive::kLocalMachine, "SOFTWARE\\Corvane\\Nimbra Enterprise\\3.0", "Path",
                     "C:\\Program Files\\Nimbra\\");
  nb::reg::SetString(Hive::kCurrentUser, std::string(kPalmUser) + "\\Core", "HotSyncPath",
                     "C:\\Palm\\HotSync.exe");
  nb::reg::SetString(Hive::kCurrentUser, std::string(kPalmUser) + "\\Core", "Path", data_dir);
  nb::reg::CreateKey(Hive::kCurrentUser, std::string(kPalmUser) + "\\HotSync Manager");
  for (const char* v : {"3.0", "3.1", "4.0", "Foo"}) {
    nb::reg::CreateKey(Hive::kLocalMachine, std::string(kPalmMachine) + "\\" + v);
  }
  std::string palm = nb::MapPath("C:\\Palm");
  nb::MakeDirs(palm);
  std::filesystem::copy_file(NB_BIN_DIR "/HsUsers20.so", palm + "/HsUsers20.so");
}

TEST(Environment, ReadsFoldersAndVersion) {
  TempPrefix prefix;
  std::string data(200, 'd');
  SetUpDesktop("C:\\" + data + "\\");
  SyncUtil su;
  EXPECT_EQ(Str(NB_FN(su, NB_GetNimbraDir)), "C:\\Program Files\\Nimbra\\");
  EXPECT_EQ(Str(NB_FN(su, NB_GetVeltroDir)), "C:\\Program Files\\Nimbra\\");
  EXPECT_EQ(Str(NB_FN(su, NB_GetPalmKey)), kPalmUser);
  EXPECT_EQ(Str(NB_FN(su, NB_GetHotSyncPath)), "C:\\Palm\\HotSync.exe");
  EXPECT_EQ(Str(NB_FN(su, NB_GetHotSyncDir)), "C:\\Palm");
  EXPECT_EQ(Str(NB_FN(su, NB_GetHotSyncDataDir)), "C:\\" + data + "\\");
  EXPECT_EQ(NB_FN(su, NB_GetHotSyncVersion)(), 262144u);
}

TEST(Environment, HotSyncFolderIsDriveAndFolderOfItsPath) {
  TempPrefix prefix;
  SetUpDesktop();
  const std::pair<const char*, const char*> cases[] = {
      {"C:HotSync.exe", "C:"},
      {"C:\\HotSync.exe", "C:"},
      {"D:\\Palm\\Bin\\HotSync.exe", "D:\\Palm\\Bin"},
      {"\\\\server\\palm\\HotSync.exe", "\\\\server\\palm"},
      {"HotSync.exe", ""},
  };
  for (const auto& [path, dir] : cases) {
    nb::reg::SetString(Hive::kCurrentUser, std::string(kPalmUser) + "\\Core", "HotSyncPath", path);
    SyncUtil su;
    EXPECT_EQ(Str(NB_FN(su, NB_GetHotSyncDir)), dir) << path;
  }
}

TEST(Environment, MissingKeysLeaveValuesEmpty) {
  TempPrefix prefix;
  std::string log = prefix.path() + "/ui.log";
  setenv("NB_UI_LOG", log.c_str(), 1);
  {
    SyncUtil su;
    EXPECT_EQ(Str(NB_FN(su, NB_GetNimbraDir)), "");
    EXPECT_EQ(Str(NB_FN(su, NB_GetHotSyncDir)), "");
    EXPECT_EQ(NB_FN(su, NB_GetHotSyncVersion)(), 0u);
  }
  unsetenv("NB_UI_LOG");
  std::ifstream f(log);
  std::string line;
  std::getline(f, line);
  EXPECT_NE(line.find("Nimbra is not installed properly. Please repair this installation or run "
                      "the original Nimbra installer. HKEY_LOCAL_MACHINE\\\\SOFTWARE\\\\Corvane"),
            std::string::npos)
      << line;
}

class UsersTest : public ::testing::Test {
 protected:
  TempPrefix prefix_;
  bool setup_ = (SetUpDesktop(), true);
  SyncUtil su_;

  uint32_t Add(const char* name) {
    UserRecord r{};
    std::strncpy(r.name, name, sizeof r.name - 1);
    if (!NB_FN(su_, NB_AddUser)(&r, 0)) return 0;
    return r.id;
  }
};

TEST_F(UsersTest, AddFindEnumerateCommitAndAbandon) {
  uint32_t anne = Add("Anne");
  uint32_t bob = Add("Bob");
  ASSERT_NE(anne, 0u);
  ASSERT_NE(bob, 0u);
  EXPECT_EQ(Add(""), 0u) << "a user needs a name";
  EXPECT_EQ(Add("anne"), 0u) << "duplicate name";
  ASSERT_EQ(NB_FN(su_, NB_CommitUserChanges)(0), 1);

  UserRecord r{};
  int cursor = 0;
  std::string names;
  for (int ok = NB_FN(su_, NB_FindFirstUser)(&r, &cursor); ok;
       ok = NB_FN(su_, NB_FindNextUser)(&r, &cursor)) {
    names += std::string(r.name) + ";";
  }
  EXPECT_EQ(names, "Anne;Bob;");
  ASSERT_EQ(NB_FN(su_, NB_FindUserByID)(bob, &r, 0), 1);
  EXPECT_STREQ(r.name, "Bob");

  ASSERT_EQ(NB_FN(su_, NB_DeleteUser)(bob, 0), 1);
  EXPECT_EQ(NB_FN(su_, NB_AbandonUserChanges)(nullptr), 1);
  EXPECT_EQ(NB_FN(su_, NB_FindUserByID)(bob, &r, 0), 1) << "abandon restores the saved list";
}

TEST(Users, AbandonBeforeInitReports4001) {
  TempPrefix prefix;
  SetUpDesktop();
  SyncUtil su;
  int err = 0;
  EXPECT_EQ(NB_FN(su, NB_AbandonUserChanges)(&err), 0);
  EXPECT_EQ(err, 4001);
}

TEST_F(UsersTest, InstallCopiesFileAndRaisesFlag) {
  uint32_t anne = Add("Anne");
  ASSERT_EQ(NB_FN(su_, NB_CommitUserChanges)(0), 1);
  std::string src = prefix_.path() + "/App.prc";
  std::ofstream(src) << "payload";
  EXPECT_EQ(NB_FN(su_, NB_CheckInstallPending)(anne), 0);
  ASSERT_EQ(NB_FN(su_, NB_InstallPRC)(anne, src.c_str()), 1);
  std::string installed = nb::MapPath("C:\\Palm\\Data\\Anne\\Install\\App.prc");
  EXPECT_TRUE(std::filesystem::exists(installed));
  EXPECT_EQ(NB_FN(su_, NB_CheckInstallPending)(anne), 1);
  std::string key = std::string(kPalmUser) + "\\HotSync Manager";
  EXPECT_EQ(nb::reg::GetDword(Hive::kCurrentUser, key, "Install" + std::to_string(anne)), 1u);
}

TEST_F(UsersTest, ACopyFailingHalfWayLeavesNothingToInstall) {
  uint32_t anne = Add("Anne");
  std::string src = prefix_.path() + "/App.prc";
  std::ofstream(src) << "payload";
  nb::FaultyOs full(nb::OsCall::kWrite, 1, ENOSPC, false, "App.prc");
  {
    nb::ScopedOs scoped(full);
    EXPECT_EQ(NB_FN(su_, NB_InstallPRC)(anne, src.c_str()), 0);
  }
  EXPECT_TRUE(full.fired());
  EXPECT_TRUE(std::filesystem::is_empty(nb::MapPath("C:\\Palm\\Data\\Anne\\Install")));
}

TEST_F(UsersTest, InstallEdgeCases) {
  std::string src = prefix_.path() + "/App.prc";
  std::ofstream(src) << "payload";
  // Outside a synchronisation there is no user to fall back on.
  EXPECT_EQ(NB_FN(su_, NB_InstallPRC)(0, src.c_str()), 0);
  // An unknown user: nothing copied, the flag raised anyway.
  EXPECT_EQ(NB_FN(su_, NB_InstallPRC)(1234, src.c_str()), 1);
  EXPECT_EQ(nb::reg::GetDword(Hive::kCurrentUser, std::string(kPalmUser) + "\\HotSync Manager",
                              "Install1234"),
            1u);
  // A folder holding only subfolders is not pending.
  uint32_t anne = Add("Anne");
  nb::MakeDirs(nb::MapPath("C:\\Palm\\Data\\Anne\\Install\\sub"));
  EXPECT_EQ(NB_FN(su_, NB_CheckInstallPending)(anne), 0);
  // A source that cannot be copied is error 1050 with both paths.
  EXPECT_EQ(NB_FN(su_, NB_InstallPRC)(anne, "/nonexistent/x.prc"), 0);
  // A link planted in the install folder is refused, not copied through.
  const std::string outside = prefix_.path() + "/outside";
  std::ofstream(outside) << "keep";
  std::filesystem::create_symlink(outside, nb::MapPath("C:\\Palm\\Data\\Anne\\Install\\App.prc"));
  EXPECT_EQ(NB_FN(su_, NB_InstallPRC)(anne, src.c_str()), 0);
  std::ifstream in(outside);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep");
}

}  // namespace
