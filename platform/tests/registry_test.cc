#include "platform/registry.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "test_prefix.h"

namespace nb::reg {
namespace {

using Kind = Value::Kind;
constexpr Hive kLM = Hive::kLocalMachine;
constexpr Hive kCU = Hive::kCurrentUser;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// Runs `body` in a child process; its return value is the exit status.
template <typename F>
int InChild(F body) {
  pid_t pid = fork();
  if (pid == 0) _exit(body());
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(RegistryTest, ParseHiveNames) {
  struct Case {
    const char* name;
    std::optional<Hive> want;
  } cases[] = {
      {"HKEY_LOCAL_MACHINE", kLM},
      {"hklm", kLM},
      {"HkLm", kLM},
      {"HKEY_CURRENT_USER", kCU},
      {"hkey_current_user", kCU},
      {"HKCU", kCU},
      {"HKCR", std::nullopt},
      {"", std::nullopt},
      {"HKLM\\x", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseHive(c.name), c.want) << c.name;
}

TEST(RegistryTest, StringsRoundTripThroughTheFile) {
  testing::TempPrefix prefix;
  struct Case {
    const char* name;
    std::string value;
    const char* line;  // as it must appear in the file
  } cases[] = {
      {"Plain", "hello", "\"Plain\"=\"hello\""},
      {"Quote", "say \"hi\"", "\"Quote\"=\"say \\\"hi\\\"\""},
      {"Path", "C:\\Palm\\", "\"Path\"=\"C:\\\\Palm\\\\\""},
      {"Mixed\\\"", "\\\"\\", "\"Mixed\\\\\\\"\"=\"\\\\\\\"\\\\\""},
      {"Empty", "", "\"Empty\"=\"\""},
      {"", "default", "@=\"default\""},
      {"Lines", "a\nb", "\"Lines\"=\"a\\nb\""},
  };
  for (const Case& c : cases) ASSERT_TRUE(SetString(kLM, "SOFTWARE\\Esc", c.name, c.value));
  std::string file = ReadFile(prefix.path() + "/system.reg");
  for (const Case& c : cases) {
    EXPECT_NE(file.find(std::string("\n") + c.line + "\n"), std::string::npos) << c.line;
    // A separate process parses the file from scratch.
    int rc = InChild([&] { return GetString(kLM, "SOFTWARE\\Esc", c.name) == c.value ? 0 : 1; });
    EXPECT_EQ(rc, 0) << c.name;
  }
}

TEST(RegistryTest, FileLayout) {
  testing::TempPrefix prefix;
  ASSERT_TRUE(SetDword(kLM, "SOFTWARE\\A\\B", "Ten", 10));
  ASSERT_TRUE(SetDword(kLM, "SOFTWARE\\A\\B", "Max", 0xffffffffu));
  ASSERT_TRUE(SetString(kLM, "SOFTWARE\\A", "", "x"));
  ASSERT_TRUE(CreateKey(kCU, "Software\\Empty"));
  EXPECT_EQ(ReadFile(prefix.path() + "/system.reg"),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n@=\"x\"\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\B]\n\"Ten\"=dword:0000000a\n"
            "\"Max\"=dword:ffffffff\n\n");
  EXPECT_EQ(ReadFile(prefix.path() + "/user.reg"),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CURRENT_USER\\Software]\n\n"
            "[HKEY_CURRENT_USER\\Software\\Empty]\n\n");
  EXPECT_EQ(Export(kLM, "software\\a\\b"),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\B]\n\"Ten\"=dword:0000000a\n"
            "\"Max\"=dword:ffffffff\n\n");
  EXPECT_EQ(Export(kLM, "SOFTWARE\\Missing"), "");
}

TEST(RegistryTest, CaseInsensitiveLookupKeepsStoredCase) {
  testing::TempPrefix prefix;
  ASSERT_TRUE(SetString(kCU, "Software\\Palm Computing", "UserName", "first"));
  struct Case {
    const char* key;
    const char* name;
  } cases[] = {
      {"Software\\Palm Computing", "UserName"},
      {"SOFTWARE\\PALM COMPUTING", "USERNAME"},
      {"software\\palm computing", "username"},
      {"\\Software\\\\Palm Computing\\", "uSeRnAmE"},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(KeyExists(kCU, c.key)) << c.key;
    EXPECT_EQ(GetString(kCU, c.key, c.name), "first") << c.key << " " << c.name;
  }
  // Overwriting through another spelling changes the data, not the stored names.
  ASSERT_TRUE(SetString(kCU, "SOFTWARE\\palm computing", "USERNAME", "second"));
  ASSERT_TRUE(CreateKey(kCU, "SOFTWARE"));
  EXPECT_EQ(SubKeys(kCU, ""), std::vector<std::string>{"Software"});
  auto values = Values(kCU, "software\\PALM computing");
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values[0].first, "UserName");
  EXPECT_EQ(values[0].second.text, "second");
  EXPECT_FALSE(KeyExists(kLM, "Software"));
}

TEST(RegistryTest, KindsAreKeptApart) {
  testing::TempPrefix prefix;
  ASSERT_TRUE(SetDword(kLM, "K", "N", 7));
  ASSERT_TRUE(SetString(kLM, "K", "S", "7"));
  EXPECT_EQ(GetDword(kLM, "K", "N"), 7u);
  EXPECT_EQ(GetString(kLM, "K", "N"), std::nullopt);
  EXPECT_EQ(GetDword(kLM, "K", "S"), std::nullopt);
  ASSERT_TRUE(SetString(kLM, "K", "n", "now text"));
  EXPECT_EQ(GetValue(kLM, "K", "N")->kind, Kind::kString);
  EXPECT_TRUE(DeleteValue(kLM, "k", "s"));
  EXPECT_FALSE(DeleteValue(kLM, "K", "S"));
  EXPECT_FALSE(DeleteValue(kLM, "Nope", "S"));
}

TEST(RegistryTest, DeleteKeyRemovesSubtreeOnly) {
  testing::TempPrefix prefix;
  for (const char* k : {"A\\B\\C", "A\\B\\D", "A\\Bee", "X"}) ASSERT_TRUE(SetDword(kLM, k, "v", 1));
  EXPECT_TRUE(DeleteKey(kLM, "a\\b"));
  struct Case {
    const char* key;
    bool exists;
  } cases[] = {{"A", true},        {"A\\B", false},  {"A\\B\\C", false},
               {"A\\B\\D", false}, {"A\\Bee", true}, {"X", true}};
  for (const Case& c : cases) EXPECT_EQ(KeyExists(kLM, c.key), c.exists) << c.key;
  EXPECT_FALSE(DeleteKey(kLM, "A\\B"));
  EXPECT_FALSE(DeleteKey(kLM, ""));
  EXPECT_EQ(ReadFile(prefix.path() + "/system.reg").find("A\\B]"), std::string::npos);
}

TEST(RegistryTest, SubKeysInCreationOrder) {
  testing::TempPrefix prefix;
  for (const char* k : {"R\\zeta", "R\\Alpha", "R\\mid\\deep", "R\\ALPHA\\x", "R\\beta"})
    ASSERT_TRUE(CreateKey(kCU, k));
  EXPECT_EQ(SubKeys(kCU, "r"), (std::vector<std::string>{"zeta", "Alpha", "mid", "beta"}));
  EXPECT_EQ(SubKeys(kCU, "R\\alpha"), std::vector<std::string>{"x"});
  EXPECT_TRUE(SubKeys(kCU, "R\\beta").empty());
  EXPECT_TRUE(SubKeys(kCU, "Missing").empty());
}

// regedit's UTF-16LE form, byte-order mark first.
std::string Utf16(const std::u16string& text) {
  std::string out = "\xff\xfe";
  for (char16_t c : text) {
    out += static_cast<char>(c & 0xff);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

TEST(RegistryTest, MissingAndMalformedFiles) {
  testing::TempPrefix prefix;
  std::string dir = prefix.path() + "/fresh";
  setenv("NB_PREFIX", dir.c_str(), 1);
  EXPECT_FALSE(KeyExists(kLM, "SOFTWARE"));
  EXPECT_TRUE(SubKeys(kLM, "").empty());
  EXPECT_EQ(access(dir.c_str(), F_OK), -1) << "reads must not create the prefix";
  setenv("NB_PREFIX", prefix.path().c_str(), 1);
  std::string path = prefix.path() + "/system.reg";
  const std::string good =
      "Windows Registry Editor Version 5.00\n\n"
      "[HKEY_LOCAL_MACHINE\\Good]\n"
      "\"ok\"=dword:00000010\n"
      "[HKEY_LOCAL_MACHINE\\Other\\Deep]\r\n"
      "@=\"crlf\"\r\n";
  // Each is read up to its bad line and never rewritten: the change fails naming the line.
  struct Case {
    std::string file;
    const char* line;
  } cases[] = {
      {good + "\"bad\"=dword:xyz\n", "line 7"},
      {good + "\"unterminated=\"x\n", "line 7"},
      {good + "[broken header\n\"lost\"=\"x\"\n", "line 7"},
      {good + "[HKEY_NOWHERE\\Lost]\n\"lost\"=\"x\"\n", "line 7"},
      {good + "[HKEY_CURRENT_USER\\Lost]\n", "line 7"},
      {good + "\"w\"=str(2):\"x\"\n", "line 7"},
      {good + "\"h\"=hex:01,\\\n", "line 7"},
      {"WINE REGISTRY Version 2\n[Software\\Wine] 1\n", "line 1"},
      {"garbage line\n" + good, "line 1"},
      {Utf16(u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Good]\r\n"
             u"\"ok\"=dword:00000010\r\n\"wide\"=\"\u4e2d\"\r\n"),
       "line 5"},
  };
  for (const Case& c : cases) {
    WriteFile(path, c.file);
    bool header_read = std::string(c.line) != "line 1";
    EXPECT_EQ(GetDword(kLM, "Good", "ok").has_value(), header_read) << c.file;
    EXPECT_FALSE(KeyExists(kLM, "Lost")) << c.file;
    EXPECT_FALSE(SetDword(kLM, "New", "n", 1)) << c.file;
    EXPECT_NE(LastError().find(path + ", " + c.line), std::string::npos) << LastError();
    EXPECT_FALSE(CreateKey(kLM, "New")) << c.file;
    EXPECT_FALSE(DeleteKey(kLM, "Good")) << c.file;
    EXPECT_EQ(ReadFile(path), c.file);
  }
  EXPECT_EQ(GetString(kLM, "Other\\Deep", ""), std::nullopt);
  WriteFile(path, cases[0].file);
  EXPECT_EQ(GetString(kLM, "Other\\Deep", ""), "crlf");
}

TEST(RegistryTest, ReadsRegeditFormsAndKeepsThemOnRewrite) {
  testing::TempPrefix prefix;
  std::string path = prefix.path() + "/user.reg";
  struct Case {
    const char* name;
    std::string file;
  } cases[] = {
      {"utf-16", Utf16(u"Windows Registry Editor Version 5.00\r\n\r\n"
                       u"[HKEY_CURRENT_USER\\Software\\Palm]\r\n"
                       u"@=\"d\u20ac\u00e9\"\r\n"
                       u"\"Multi\"=hex(7):61,00,00,00,00,00\r\n"
                       u"\"Bin\"=hex:01,02,\\\r\n  ff\r\n\r\n"
                       u"[HKEY_CURRENT_USER\\Software\\Palm\\Sub]\r\n"
                       u"\"N\"=dword:0000002a\r\n")},
      {"regedit4",
       "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Palm]\r\n@=\"d\x80\xe9\"\r\n"
       "; a comment\r\n\"Multi\"=hex(7):61,00,00\r\n\"Bin\"=hex:01,\\\r\n 02,ff\r\n"
       "[HKEY_CURRENT_USER\\Software\\Palm\\Sub]\r\n\"N\"=dword:2A\r\n"},
  };
  for (const Case& c : cases) {
    WriteFile(path, c.file);
    for (int pass = 0; pass < 2; ++pass) {
      EXPECT_EQ(GetString(kCU, "Software\\Palm", ""), "d\x80\xe9") << c.name;
      EXPECT_EQ(GetDword(kCU, "Software\\Palm\\Sub", "N"), 42u) << c.name;
      std::optional<Value> multi = GetValue(kCU, "Software\\Palm", "Multi");
      ASSERT_TRUE(multi) << c.name;
      EXPECT_EQ(multi->number, 7u);
      EXPECT_EQ(multi->text, std::string("a\0\0\0\0\0", 6)) << c.name;
      std::optional<Value> bin = GetValue(kCU, "Software\\Palm", "Bin");
      ASSERT_TRUE(bin) << c.name;
      EXPECT_EQ(bin->text, "\x01\x02\xff") << c.name;
      // The first pass's change rewrites the file in our form; nothing may be lost by it.
      if (pass == 0) {
        ASSERT_TRUE(SetDword(kCU, "Software\\Palm", "Added", 1)) << LastError();
      }
    }
    EXPECT_NE(ReadFile(path).find("\"Multi\"=hex(7):61,00,00,00,00,00\n\"Bin\"=hex:01,02,ff\n"),
              std::string::npos);
  }
}

TEST(RegistryTest, ConcurrentWritersLoseNothing) {
  testing::TempPrefix prefix;
  constexpr int kProcs = 4, kEach = 100;
  std::vector<pid_t> pids;
  for (int p = 0; p < kProcs; ++p) {
    pid_t pid = fork();
    if (pid == 0) {
      for (int i = 0; i < kEach; ++i)
        if (!SetDword(kLM, "SOFTWARE\\Race", "p" + std::to_string(p) + "_" + std::to_string(i),
                      static_cast<uint32_t>(p * 1000 + i)))
          _exit(1);
      _exit(0);
    }
    pids.push_back(pid);
  }
  for (pid_t pid : pids) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(Values(kLM, "SOFTWARE\\Race").size(), static_cast<size_t>(kProcs * kEach));
  for (int p = 0; p < kProcs; ++p)
    for (int i = 0; i < kEach; ++i)
      EXPECT_EQ(GetDword(kLM, "software\\race", "P" + std::to_string(p) + "_" + std::to_string(i)),
                static_cast<uint32_t>(p * 1000 + i));
}

struct ToolRun {
  int code;
  std::string out, err;
};

ToolRun Nbreg(const std::vector<std::string>& args) {
  char out_path[] = "/tmp/nbreg_out.XXXXXX";
  char err_path[] = "/tmp/nbreg_err.XXXXXX";
  int out_fd = mkstemp(out_path), err_fd = mkstemp(err_path);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out_fd, 1);
    dup2(err_fd, 2);
    std::vector<char*> argv{const_cast<char*>("nbreg")};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(NB_BIN_DIR "/nbreg", argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  close(out_fd);
  close(err_fd);
  ToolRun r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out_path), ReadFile(err_path)};
  unlink(out_path);
  unlink(err_path);
  return r;
}

TEST(NbregTest, Commands) {
  testing::TempPrefix prefix;
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string out;  // exact stdout
    std::string err;  // substring of stderr
  } cases[] = {
      {{"set", "HKCU\\Software\\X", "Name", "a \"b\" \\c"}, 0, "", ""},
      {{"set", "hkey_current_user\\software\\x", "Count", "0x1F", "--dword"}, 0, "", ""},
      {{"query", "HKCU\\Software\\X", "name"}, 0, "a \"b\" \\c\n", ""},
      {{"query", "HKCU\\Software\\X", "COUNT"}, 0, "31\n", ""},
      {{"add", "HKCU\\Software\\X\\Sub"}, 0, "", ""},
      {{"query", "HKCU\\Software\\X"},
       0,
       "HKEY_CURRENT_USER\\Software\\X\n  \"Name\"=\"a \"b\" \\c\"\n  \"Count\"=dword:0000001f\n"
       "  Sub\\\n",
       ""},
      {{"export", "HKCU\\Software\\X\\Sub"},
       0,
       "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\X\\Sub]\n\n",
       ""},
      {{"delete", "HKCU\\Software\\X", "Count"}, 0, "", ""},
      {{"query", "HKCU\\Software\\X", "Count"}, 1, "", "value not found"},
      {{"delete", "HKCU\\Software\\X"}, 0, "", ""},
      {{"query", "HKCU\\Software\\X"},
       1,
       "",
       "nbreg: key not found: HKEY_CURRENT_USER\\Software\\X"},
      {{"delete", "HKLM\\Nothing"}, 1, "", "key not found: HKEY_LOCAL_MACHINE\\Nothing"},
      {{"set", "HKLM\\K", "n", "12x", "--dword"}, 2, "", "not a dword"},
      {{"set", "HKLM\\K", "n", "4294967296", "--dword"}, 2, "", "not a dword"},
      {{"query", "HKXX\\K"}, 2, "", "unknown hive"},
      {{"frobnicate"}, 2, "", "unknown command"},
      {{"set", "HKLM\\K"}, 2, "", "set takes"},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const std::string& a : c.args) shown += a + " ";
    ToolRun r = Nbreg(c.args);
    EXPECT_EQ(r.code, c.code) << shown << r.err;
    EXPECT_EQ(r.out, c.out) << shown;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << shown << r.err;
  }
  // The tool and the library share the same files.
  EXPECT_FALSE(KeyExists(kCU, "Software\\X"));
  EXPECT_TRUE(KeyExists(kCU, "Software"));
}

TEST(NbregTest, ImportsRegeditFiles) {
  testing::TempPrefix prefix;
  ASSERT_TRUE(SetString(kCU, "Software\\Old\\Deep", "v", "x"));
  ASSERT_TRUE(SetString(kCU, "Software\\Keep", "gone", "x"));
  ASSERT_TRUE(SetString(kCU, "Software\\Keep", "stays", "y"));
  std::string good = prefix.path() + "/good.reg", bad = prefix.path() + "/bad.reg";
  WriteFile(good, Utf16(u"Windows Registry Editor Version 5.00\r\n\r\n"
                        u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Conduit]\r\n\"Creator\"=dword:76584131\r\n"
                        u"[-HKEY_CURRENT_USER\\Software\\Old]\r\n"
                        u"[HKEY_CURRENT_USER\\Software\\Keep]\r\n\"gone\"=-\r\n@=\"new\"\r\n"));
  WriteFile(bad, "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Keep]\n\"a\"=\"1\"\n\"b\"=2\n");
  ToolRun r = Nbreg({"import", bad});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find(bad + ", line 5"), std::string::npos) << r.err;
  EXPECT_EQ(GetString(kCU, "Software\\Keep", "a"), std::nullopt) << "nothing imported";
  r = Nbreg({"import", good});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(GetDword(kLM, "SOFTWARE\\Conduit", "Creator"), 0x76584131u);
  EXPECT_FALSE(KeyExists(kCU, "Software\\Old"));
  EXPECT_EQ(GetValue(kCU, "Software\\Keep", "gone"), std::nullopt);
  EXPECT_EQ(GetString(kCU, "Software\\Keep", "stays"), "y");
  EXPECT_EQ(GetString(kCU, "Software\\Keep", ""), "new");
  EXPECT_EQ(Nbreg({"import"}).code, 2);
}

TEST(NbregTest, HelpAndExportAll) {
  testing::TempPrefix prefix;
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"}, {"-h"}}) {
    ToolRun r = Nbreg(args);
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("NB_PREFIX"), std::string::npos);
  }
  ToolRun bare = Nbreg({});
  EXPECT_EQ(bare.code, 2);
  EXPECT_NE(bare.err.find("try 'nbreg --help'"), std::string::npos) << bare.err;
  ASSERT_TRUE(SetDword(kLM, "M", "a", 1));
  ASSERT_TRUE(SetDword(kCU, "U", "b", 2));
  ToolRun r = Nbreg({"export"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out,
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_LOCAL_MACHINE\\M]\n\"a\"=dword:00000001\n\n"
            "[HKEY_CURRENT_USER\\U]\n\"b\"=dword:00000002\n\n");
}

}  // namespace
}  // namespace nb::reg
