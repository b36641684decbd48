// Every program's command line behaves alike: --help and --version succeed, an unknown
// option or a stray argument is one line on standard error and exit status 2.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "test_files.h"
#include "test_prefix.h"

namespace {

struct Outcome {
  int code = -1;
  std::string out, err;
};

Outcome Program(const std::string& args) {
  Outcome r;
  char err_path[] = "/tmp/nbcli_err.XXXXXX";
  int fd = mkstemp(err_path);
  if (fd < 0) return r;
  close(fd);
  FILE* p = popen((std::string(NB_BIN_DIR "/") + args + " 2>" + err_path).c_str(), "r");
  char buf[4096];
  size_t n;
  while (p && (n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  int st = p ? pclose(p) : -1;
  r.code = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  r.err = nb::testing::Slurp(err_path);
  std::remove(err_path);
  return r;
}

TEST(CommandLine, EveryProgramHelpsAndRefusesWhatItDoesNotKnow) {
  nb::testing::TempPrefix prefix;
  // With the runtime installed, so the runtime's library has nothing to say at load.
  ASSERT_EQ(Program("hotsync init").code, 0);
  struct Case {
    const char* program;
    const char* stray;  // a command line with one argument too many
  };
  for (const Case& c : {Case{"hotsync", "hotsync init extra"}, Case{"hotsync", "hotsync log x"},
                        Case{"nbreg", "nbreg add HKCU\\\\X extra"}, Case{"valtrix", "valtrix x"},
                        Case{"aprgen", "aprgen a b"}, Case{"bmpgen", "bmpgen a.bmp b.bmp"},
                        Case{"demodesk", "demodesk handheld a b"},
                        Case{"enginestandin", "enginestandin a b"}, Case{"pdagen", "pdagen a b"}}) {
    const std::string p = c.program;
    Outcome help = Program(p + " --help");
    EXPECT_EQ(help.code, 0) << p << help.err;
    EXPECT_NE(help.out.find("usage: " + p), std::string::npos) << help.out;
    Outcome version = Program(p + " --version");
    EXPECT_EQ(version.code, 0) << p;
    EXPECT_EQ(version.out.rfind(p + " ", 0), 0u) << version.out;
    for (const std::string& bad : {p + " --no-such-option", std::string(c.stray)}) {
      Outcome r = Program(bad);
      EXPECT_EQ(r.code, 2) << bad << r.err;
      EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << bad << ": " << r.err;
      EXPECT_NE(r.err.find("try '" + p), std::string::npos) << r.err;
      EXPECT_EQ(r.err.find("required"), std::string::npos) << "the stray first: " << r.err;
      EXPECT_TRUE(r.out.empty()) << bad << ": " << r.out;
    }
  }
  // The last of a repeated value counts; a list option leaves the file name alone.
  EXPECT_EQ(
      Program("aprgen --count 9 --count 1 --omit AprVC.YRBUILT '" + prefix.path() + "/t'").code, 0);
  EXPECT_EQ(Program("bmpgen --set 2,4 '" + prefix.path() + "/b.bmp'").code, 0);
  EXPECT_TRUE(std::filesystem::exists(prefix.path() + "/b-4.bmp"));
  // Values are checked before anything happens.
  for (const char* bad : {"hotsync users add Bob --id abc", "hotsync list --handheld /no/such",
                          "demodesk queue-tables /no/such vXA1", "bmpgen --depth 7 x.bmp",
                          "aprgen --count many x", "pdagen --forms -1 x"}) {
    Outcome r = Program(bad);
    EXPECT_EQ(r.code, 2) << bad << r.err;
  }
}

// The commands and options `program command --help` lists, and those of its commands.
void Listed(const std::string& program, const std::string& command, std::set<std::string>* words) {
  const std::string help = Program(program + command + " --help").out;
  // Long options, and the installer's switches (one dash, more than one letter).
  static const std::regex option(R"((?:^|[\s,])(--[a-z][-a-z]*|-[A-Za-z]{2,}))");
  for (std::sregex_iterator m(help.begin(), help.end(), option), end; m != end; ++m)
    words->insert((*m)[1]);
  const size_t list = help.find("\nSubcommands:\n");
  if (list == std::string::npos) return;
  std::istringstream lines(help.substr(list + 14));
  std::vector<std::string> commands;
  for (std::string line; std::getline(lines, line) && !line.empty();)
    commands.push_back(line.substr(2, line.find(' ', 2) - 2));
  for (const std::string& c : commands) {
    words->insert(c);
    Listed(program, command + " " + c, words);
  }
}

// `word` in `text` as a word of its own, not part of a longer one.
bool HasWord(const std::string& text, const std::string& word) {
  auto part = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '-'; };
  for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
    if ((at == 0 || !part(text[at - 1])) &&
        (at + word.size() == text.size() || !part(text[at + word.size()])))
      return true;
  }
  return false;
}

TEST(CommandLine, ManPagesAndCompletionsKnowEveryCommandAndOption) {
  nb::testing::TempPrefix prefix;
  ASSERT_EQ(Program("hotsync init").code, 0);
  for (const std::string p : {"hotsync", "nbreg", "valtrix", "appinstaller"}) {
    const std::string page = std::regex_replace(
        nb::testing::Slurp(NB_SOURCE_DIR "/packaging/man/" + p + ".1"), std::regex(R"(\\-)"), "-");
    const std::string completion = NB_SOURCE_DIR "/packaging/completions/" + p;
    std::string out;
    EXPECT_EQ(
        nb::testing::Shell("bash -c 'source " + completion + " && complete -p " + p + "'", &out), 0)
        << out;
    std::set<std::string> words;
    Listed(p, "", &words);
    EXPECT_GE(words.size(), 2u) << p;  // --help and --version at least
    for (const std::string& w : words) {
      EXPECT_TRUE(HasWord(page, w)) << p << ".1 lacks " << w;
      EXPECT_TRUE(HasWord(nb::testing::Slurp(completion), w))
          << "completion of " << p << " lacks " << w;
    }
  }
}

}  // namespace
