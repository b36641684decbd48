#include "nbddb/plugin.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "test_prefix.h"

namespace {

std::string Bin(const std::string& name) { return std::string(NB_BIN_DIR) + "/" + name; }

bool IsLoaded(const std::string& path) {
  void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (lib) dlclose(lib);
  return lib != nullptr;
}

int Deletions(const nb::testing::TempPrefix& prefix) {
  std::ifstream in(prefix.path() + "/fake_plugin.log");
  std::string line;
  int n = 0;
  while (std::getline(in, line)) n += line == "deleted";
  return n;
}

int ConstructionCode(const std::string& path) {
  try {
    CNbddbPlugin holder(path);
  } catch (const CNbddb_Exception& e) {
    return e.code();
  }
  return -1;
}

TEST(NbddbHolder, ForwardsAndReleasesThroughTheLibrary) {
  nb::testing::TempPrefix prefix;
  const std::string lib = Bin("nbddb_fake.so");
  {
    CNbddbPlugin table(lib);
    EXPECT_TRUE(IsLoaded(lib));
    EXPECT_EQ(table.GetExtension(), "FAK");
    EXPECT_TRUE(table.QueryStoreFlag());
    EXPECT_TRUE(table.Open("good", true));
    EXPECT_FALSE(table.Open("bad", true));
    FieldDesc desc;
    desc.SetName("Name");
    desc.type = FieldType::Text;
    EXPECT_TRUE(table.AddField(desc));
    ASSERT_EQ(table.GetFieldCount(), 1);
    EXPECT_STREQ(table.GetFields()[0].name, "Name");
    EXPECT_EQ(table.MoveFirst(), NavStatus::NoRecords);
    EXPECT_TRUE(table.AddRecord({FieldValue::Text("a")}));
    EXPECT_TRUE(table.AddRecord({FieldValue::Text("b")}));
    EXPECT_EQ(table.MoveFirst(), NavStatus::Done);
    EXPECT_EQ(table.MovePrev(), NavStatus::AtFirst);
    EXPECT_EQ(table.MoveLast(), NavStatus::Done);
    EXPECT_EQ(table.MoveNext(), NavStatus::AtLast);
    EXPECT_EQ(table.GetRecord()[0].text_view(), "b");
    EXPECT_EQ(Deletions(prefix), 0);
  }
  EXPECT_EQ(Deletions(prefix), 1);
  EXPECT_FALSE(IsLoaded(lib));
}

TEST(NbddbHolder, WindowsPathMapsBelowThePrefix) {
  nb::testing::TempPrefix prefix;
  const std::string folder = prefix.path() + "/drive_c/Nimbra/Bin/NBDDB";
  std::filesystem::create_directories(folder);
  std::filesystem::copy_file(Bin("nbddb_fake.so"), folder + "/fakstore.so");
  CNbddbPlugin table("C:\\Nimbra\\Bin\\NBDDB\\fakstore.dll");
  EXPECT_EQ(table.GetFilterText(), "Fake (*.fak)");
}

TEST(NbddbHolder, RefusalsCarryTheirCodesAndLeaveNothingLoaded) {
  nb::testing::TempPrefix prefix;
  EXPECT_EQ(ConstructionCode(prefix.path() + "/missing.so"), CNbddb_Exception::kLoadFailed);
  EXPECT_EQ(ConstructionCode(Bin("nbddb_fake_nodelete.so")), CNbddb_Exception::kNoEntryPoint);
  EXPECT_EQ(ConstructionCode(Bin("nbddb_fake_nonew.so")), CNbddb_Exception::kCreateFailed);
  EXPECT_EQ(Deletions(prefix), 0);
  // A refused version: the object had been made, so it goes back through NBDDB_Delete.
  EXPECT_EQ(ConstructionCode(Bin("nbddb_fake_v256.so")), CNbddb_Exception::kBadVersion);
  EXPECT_EQ(ConstructionCode(Bin("nbddb_fake_v258.so")), CNbddb_Exception::kBadVersion);
  EXPECT_EQ(Deletions(prefix), 2);
  for (const char* name : {"nbddb_fake_nodelete.so", "nbddb_fake_nonew.so", "nbddb_fake_v256.so",
                           "nbddb_fake_v258.so"}) {
    EXPECT_FALSE(IsLoaded(Bin(name))) << name;
  }
}

TEST(NbddbException, TextsByCode) {
  EXPECT_STREQ(CNbddb_Exception(0).text(), "generic error");
  EXPECT_STREQ(CNbddb_Exception(1).text(), "plugin has no entry point");
  EXPECT_STREQ(CNbddb_Exception(2).text(), "unable to load plugin");
  EXPECT_STREQ(CNbddb_Exception(3).text(), "unable to create plugin object");
  EXPECT_STREQ(CNbddb_Exception(4).text(), "plugin version is not supported");
  EXPECT_STREQ(CNbddb_Exception(5).text(), "unknown error");
  EXPECT_STREQ(CNbddb_Exception(-1).text(), "unknown error");
}

TEST(NbddbException, CaughtByTypeAcrossLibraries) {
  nb::testing::TempPrefix prefix;
  // Thrown inside the plug-in, through the holder, into this executable.
  {
    CNbddbPlugin table(Bin("nbddb_fake.so"));
    try {
      table.Open("throw", true);
      ADD_FAILURE() << "no exception";
    } catch (const CNbddb_Exception& e) {
      EXPECT_EQ(e.code(), CNbddb_Exception::kGeneric);
    }
  }
  // Raised by a holder in one library and caught in another, neither being this program.
  void* catcher = dlopen(Bin("nbddb_catcher.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(catcher, nullptr) << dlerror();
  auto run = reinterpret_cast<int (*)(const char*, const char*, const char*, char*, int)>(
      dlsym(catcher, "Catcher_Run"));
  ASSERT_NE(run, nullptr);
  char text[64] = {};
  const std::string user = Bin("nbddb_holder_user.so");
  EXPECT_EQ(run(user.c_str(), Bin("nbddb_fake_v258.so").c_str(), "good", text, sizeof text),
            CNbddb_Exception::kBadVersion);
  EXPECT_STREQ(text, "plugin version is not supported");
  EXPECT_EQ(run(user.c_str(), Bin("nbddb_fake.so").c_str(), "throw", text, sizeof text),
            CNbddb_Exception::kGeneric);
  EXPECT_EQ(run(user.c_str(), Bin("nbddb_fake.so").c_str(), "good", text, sizeof text), -1);
  dlclose(catcher);
  EXPECT_FALSE(IsLoaded(user));
}

}  // namespace
