#include <filesystem>

#include "commresp/common_responses.h"
#include "commresp/responses_file.h"
#include "commresp_fixture.h"

namespace {

using commresp_test::Exists;
using commresp_test::ReadFile;
using commresp_test::WriteFile;
using CommRespFilter = commresp_test::Desktop;

TEST_F(CommRespFilter, TurnsResponseLinesIntoKeysAndLeavesOnlyTheFile) {
  WriteFile(filtered(), "stale");
  WriteFile(commresp(),
            "[ROOF]\r\nComposition shingle\r\nTile=\r\n\r\n[HEAT]\nForced air\rBaseboard \n"
            "[half\nLast line");
  valtrix::FilterCommonResponses();
  EXPECT_EQ(ReadFile(commresp()),
            "[ROOF]\r\nComposition shingle=\r\nTile=\r\n\r\n[HEAT]\r\nForced air=\r\n"
            "Baseboard =\r\n[half=\r\nLast line=\r\n");
  EXPECT_FALSE(Exists(filtered()));
  EXPECT_TRUE(Logged().empty());
}

TEST_F(CommRespFilter, FailureLeavesTheResponsesAsTheyWere) {
  const std::string original = "[ROOF]\r\nTile\r\n";
  WriteFile(commresp(), original);
  // A folder in the temporary file's place cannot be deleted by the filter.
  std::filesystem::create_directories(filtered() + "/held");
  valtrix::FilterCommonResponses();
  EXPECT_EQ(ReadFile(commresp()), original);
  EXPECT_EQ(Logged(), std::vector<std::string>{"Common Response Filtering error"});

  std::filesystem::remove_all(filtered());
  std::filesystem::remove(commresp());
  valtrix::FilterCommonResponses();
  EXPECT_FALSE(Exists(commresp()));
  EXPECT_FALSE(Exists(filtered()));
  EXPECT_EQ(Logged().size(), 2u);
}

TEST(CommRespNames, FollowTheProfileReadersRules) {
  nb::Profile file = nb::Profile::Parse(
      "[Roof]\r\n  Tile  =\r\ntile=\r\nSlate=x=y\r\n;note=\r\n   =\r\nMetal=\r\n"
      "[ROOF]\r\nIgnored=\r\n");
  EXPECT_EQ(valtrix::ResponseNames(file, " ROOF "),
            (std::vector<std::string>{"Tile", "tile", "Slate", "Metal"}));
  EXPECT_TRUE(valtrix::ResponseNames(file, "HEAT").empty());
  EXPECT_EQ(valtrix::ResponseLimit("ApkLg"), 500u);
  EXPECT_EQ(valtrix::ResponseLimit("Apk01"), 50u);
}

}  // namespace
