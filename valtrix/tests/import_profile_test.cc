// ReadProfileText and ReadProfileCheck over real appraisal data files.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "globals.h"
#include "test_prefix.h"

namespace valtrix {
namespace {

class ImportProfile : public ::testing::Test {
 protected:
  nb::Profile Write(const std::string& text) {
    std::string path = prefix_.path() + "/job.vxa";
    std::ofstream(path, std::ios::binary) << text;
    return nb::Profile::Load(path);
  }
  std::string Text(const nb::Profile& file, const std::string& key, int maximum,
                   const std::string& def = "") {
    return ReadProfileText(file, "AppraisalData", key, def, maximum);
  }

  nb::testing::TempPrefix prefix_;
};

TEST_F(ImportProfile, WindowsReadingRules) {
  nb::Profile file = Write(
      "[Header]\r\nMajorForm=1004\r\n[appraisaldata]\r\n  city.1 =   Springfield  \r\n"
      "QUOTED.1=\"  two words \"\r\nSINGLE.1='x'\r\nEMPTY.1=\r\n");
  int max = 40;
  EXPECT_EQ(ReadProfileText(file, "HEADER", "majorform", "URAR", max), "1004");
  EXPECT_EQ(Text(file, "CITY.1", 40), "Springfield");
  EXPECT_EQ(Text(file, "QUOTED.1", 40), "  two words ");
  EXPECT_EQ(Text(file, "SINGLE.1", 40), "x");
  EXPECT_EQ(Text(file, "EMPTY.1", 40, "dflt"), "");
  EXPECT_EQ(Text(file, "MISSING.1", 40, "dflt"), "dflt");
  EXPECT_EQ(ReadProfileText(file, "Nowhere", "CITY.1", "URAR", max), "URAR");
}

TEST_F(ImportProfile, TextIsCutAndBarsBecomeLineFeeds) {
  std::string long_value(5000, 'a');
  nb::Profile file = Write("[AppraisalData]\nNOTE.1=first|second||third\r\nLONG.1=" + long_value +
                           "\nNUMBER.1=ABCDEFGHIJ\n");
  EXPECT_EQ(Text(file, "NOTE.1", 100), "first\nsecond\n\nthird");
  EXPECT_EQ(Text(file, "NOTE.1", 8), "first\nse");  // cut before the bars are turned
  EXPECT_EQ(Text(file, "NUMBER.1", 8), "ABCDEFGH");

  int memo = 0;
  EXPECT_EQ(ReadProfileText(file, "AppraisalData", "LONG.1", "", memo), std::string(3999, 'a'));
  EXPECT_EQ(memo, 4000);  // the caller's size becomes the buffer's
  EXPECT_EQ(Text(file, "LONG.1", 5000).size(), 3999u);

  int negative = -1;
  EXPECT_THROW(ReadProfileText(file, "AppraisalData", "NOTE.1", "", negative),
               std::invalid_argument);
}

TEST_F(ImportProfile, ValuesEndAtAnEmbeddedNul) {
  static const char kText[] = "[AppraisalData]\nA.1=ab\0cd\nB_X.1=\0x\n";
  nb::Profile file = nb::Profile::Parse(std::string(kText, sizeof kText - 1));
  EXPECT_EQ(Text(file, "A.1", 10), "ab");
  EXPECT_FALSE(ReadProfileCheck(file, "AppraisalData", "B_X.1", ""));
}

TEST_F(ImportProfile, AnyNonEmptyCheckValueIsTrue) {
  nb::Profile file = Write("[AppraisalData]\nA_X.1=X\nB_X.1=no\nC_X.1=\nD_X.1=\"\"\nE_X.1=" +
                           std::string(300, 'y') + "\nF_X.1= 0 \n");
  auto check = [&](const char* key) { return ReadProfileCheck(file, "AppraisalData", key, ""); };
  EXPECT_TRUE(check("A_X.1"));
  EXPECT_TRUE(check("b_x.1"));
  EXPECT_FALSE(check("C_X.1"));
  EXPECT_FALSE(check("D_X.1"));
  EXPECT_TRUE(check("E_X.1"));
  EXPECT_TRUE(check("F_X.1"));
  EXPECT_FALSE(check("MISSING_X.1"));
  EXPECT_TRUE(ReadProfileCheck(file, "AppraisalData", "MISSING_X.1", "X"));
}

}  // namespace
}  // namespace valtrix
