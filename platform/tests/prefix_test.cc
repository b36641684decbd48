#include "platform/prefix.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/library.h"
#include "platform/os.h"
#include "test_prefix.h"

namespace {

using nb::testing::TempPrefix;

TEST(MapPath, DrivesSeparatorsAndCase) {
  TempPrefix prefix;
  const std::string& p = prefix.path();
  ASSERT_TRUE(nb::MakeDirs(p + "/drive_c/Palm/Data"));
  struct Case {
    const char* in;
    std::string out;
  } cases[] = {
      {"C:\\Palm\\HOTSYNC.EXE", p + "/drive_c/Palm/HOTSYNC.EXE"},
      {"c:\\PALM\\data\\x.pdb", p + "/drive_c/Palm/Data/x.pdb"},
      {"C:/Palm//Data", p + "/drive_c/Palm/Data"},
      {"C:\\Palm\\", p + "/drive_c/Palm/"},
      {"D:\\Other", p + "/drive_d/Other"},
      {"C:", p + "/drive_c"},
      {"/usr/lib/x.so", "/usr/lib/x.so"},
      {"rel\\dir\\f.dbf", "rel/dir/f.dbf"},
  };
  for (const Case& c : cases) EXPECT_EQ(nb::MapPath(c.in), c.out) << c.in;
}

// Names new to a folder, created one after another, read the folder about once; names of
// another case that others create, rename or remove are still matched as they are now.
TEST(MapPath, ManyNewNamesReadTheirFolderOnceAndCaseStillMatches) {
  struct CountingOs : nb::Os {
    int lists = 0;
    int ListFolder(const char* path, std::vector<std::string>* names) override {
      ++lists;
      return Os::ListFolder(path, names);
    }
  } counting;
  nb::ScopedOs scoped(counting);
  TempPrefix prefix;
  const std::string dir = prefix.path() + "/drive_c/Many";
  ASSERT_TRUE(nb::MakeDirs(dir));
  for (int i = 0; i < 100; ++i) {
    const std::string n = std::to_string(i);
    ASSERT_EQ(nb::MapPath("C:\\Many\\new" + n), dir + "/new" + n);
    std::ofstream(dir + "/new" + n).put('x');
  }
  EXPECT_LE(counting.lists, 2);
  struct Step {
    std::function<void()> change;
    const char* asked;
    const char* found;
  } steps[] = {
      {[] {}, "C:\\MANY\\NEW7", "new7"},
      {[&] { std::ofstream(dir + "/Other"); }, "c:\\many\\OTHER", "Other"},
      {[&] { std::filesystem::rename(dir + "/Other", dir + "/Moved"); }, "C:\\Many\\other",
       "other"},
      {[] {}, "C:\\Many\\MOVED", "Moved"},
      {[&] { std::filesystem::remove(dir + "/Moved"); }, "C:\\Many\\moved", "moved"},
      {[&] {
         std::filesystem::rename(dir, dir + "-old");
         ASSERT_TRUE(nb::MakeDirs(dir));
         std::ofstream(dir + "/Fresh");
       },
       "C:\\Many\\FRESH", "Fresh"},
  };
  for (const Step& s : steps) {
    s.change();
    EXPECT_EQ(nb::MapPath(s.asked), dir + "/" + s.found) << s.asked;
  }
}

TEST(Prefix, DefaultsToHomeWithoutVariable) {
  TempPrefix prefix;
  unsetenv("NB_PREFIX");
  setenv("HOME", "/home/appraiser", 1);
  EXPECT_EQ(nb::Prefix(), "/home/appraiser/.nimbra");
  setenv("NB_PREFIX", "/tmp/x/", 1);
  EXPECT_EQ(nb::Prefix(), "/tmp/x");
}

TEST(LibraryFile, ExtensionRules) {
  TempPrefix prefix;
  EXPECT_EQ(nb::LibraryFile("pdbdevice.dll"), "pdbdevice.so");
  EXPECT_EQ(nb::LibraryFile("Sync20.DLL"), "Sync20.so");
  EXPECT_EQ(nb::LibraryFile("pdbdevice"), "pdbdevice.so");
  EXPECT_EQ(nb::LibraryFile("/opt/x.so"), "/opt/x.so");
  EXPECT_EQ(nb::LibraryFile("C:\\Palm.d\\HsLog20.dll"),
            prefix.path() + "/drive_c/Palm.d/HsLog20.so");
  std::string error;
  EXPECT_EQ(nb::LoadLibrary("C:\\missing.dll", &error), nullptr);
  EXPECT_FALSE(error.empty());
}

}  // namespace
