#include "platform/prefix.h"

#include <gtest/gtest.h>

#include "platform/library.h"
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
  EXPECT_EQ(nb::LibraryFile("C:\\Palm.d\\HsLog20.dll"), prefix.path() + "/drive_c/Palm.d/HsLog20.so");
  std::string error;
  EXPECT_EQ(nb::LoadLibrary("C:\\missing.dll", &error), nullptr);
  EXPECT_FALSE(error.empty());
}

}  // namespace
