// Programs that link syncutil and only answer their command line touch nothing of the
// desktop: the library starts at the first use of the queue or the HotSync folders.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_files.h"
#include "test_prefix.h"

namespace {

TEST(BareDesktop, AnsweringTheCommandLineCreatesNothing) {
  const struct {
    const char* command;
    int status;
  } cases[] = {
      {"valtrix --version", 0},      {"valtrix --help", 0},
      {"valtrix --no-such", 2},      {"demodesk --help", 0},
      {"demodesk --version", 0},     {"demodesk queue-tables --help", 0},
      {"demodesk queue-tables", 2},  {"appinstaller -?", 0},
      {"appinstaller /?", 0},        {"appinstaller --help", 0},
      {"appinstaller --version", 0},
  };
  for (const auto& c : cases) {
    nb::testing::TempPrefix prefix;
    std::string out;
    EXPECT_EQ(nb::testing::Shell(NB_BIN_DIR "/" + std::string(c.command), &out), c.status)
        << c.command << "\n"
        << out;
    EXPECT_EQ(out.find("not installed"), std::string::npos) << c.command << "\n" << out;
    EXPECT_TRUE(std::filesystem::is_empty(prefix.path())) << c.command;
  }
}

}  // namespace
