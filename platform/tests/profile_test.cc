#include "platform/profile.h"

#include <gtest/gtest.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "test_prefix.h"

namespace nb {
namespace {

struct ReadCase {
  const char* name;
  std::string text;
  const char* section;
  const char* key;
  const char* want;
};

TEST(ProfileTest, Reads) {
  const ReadCase cases[] = {
      {"double quotes", "[s]\r\nk=\"a b\"\r\n", "s", "k", "a b"},
      {"single quotes", "[s]\nk='x'\n", "s", "k", "x"},
      {"mismatched quotes kept", "[s]\nk=\"x'\n", "s", "k", "\"x'"},
      {"lone quote kept", "[s]\nk=\"\n", "s", "k", "\""},
      {"only outer pair removed", "[s]\nk=\"\"x\"\"\n", "s", "k", "\"x\""},
      {"first section wins", "[s]\nk=1\n[t]\nk=9\n[S]\nk=2\nj=3\n", "s", "k", "1"},
      {"later duplicate section unread", "[s]\nk=1\n[S]\nj=3\n", "s", "j", "def"},
      {"first key wins", "[s]\nk=1\nK=2\n", "s", "k", "1"},
      {"split at first equals", "[s]\nk = a=b \n", "s", "k", "a=b"},
      {"no equals reads default", "[s]\nk\n", "s", "k", "def"},
      {"no equals shadows later key", "[s]\nk\nk=1\n", "s", "k", "def"},
      {"comment is not a key", "[s]\n;k=1\n", "s", ";k", "def"},
      {"cr alone ends no line", "[s]\rk=1\rj=2\r", "s", "j", "def"},
      {"cr inside value kept", "[s]\nk=a\rb \r\nj=2\n", "s", "k", "a\rb"},
      {"blanks trimmed", "\t[s] \v\x1a\n\f k \t= v \r\n", "s", "k", "v"},
      {"header without bracket is a key line", "[s]\n[ s x \nk=1\n", "s", "k", "1"},
      {"bracket key line keeps its value", "[s]\n[Note=x\n", "s", "[Note", "x"},
      {"header name not trimmed", "[ s ]\nk=1\n", "s", "k", "def"},
      {"header runs to last bracket", "[a]b] \nk=1\n", "a]b", "k", "1"},
      {"lookup names trimmed", "[s]\nk=1\n", " s ", "\tk ", "1"},
      {"case-insensitive", "[SeCt]\nKeY=v\n", "sect", "key", "v"},
      {"empty value", "[s]\nk=\n", "s", "k", ""},
      {"before any section", "k=1\n[s]\n", "", "k", "def"},
      {"missing section", "[s]\nk=1\n", "t", "k", "def"},
      {"last line unterminated", "[s]\nk=1", "s", "k", "1"},
  };
  for (const ReadCase& c : cases) {
    Profile p = Profile::Parse(c.text);
    EXPECT_EQ(p.Get(c.section, c.key, "def"), c.want) << c.name;
  }
}

TEST(ProfileTest, ListsKeysAndSections) {
  Profile p = Profile::Parse("x=0\n[a]\nk=1\n;c=2\nbare\nK=3\n\n[b]\nz=1\n[A]\nm=4\n");
  EXPECT_EQ(p.Keys("A"), (std::vector<std::string>{"k", "K"}));
  EXPECT_EQ(p.Sections(), (std::vector<std::string>{"a", "b", "A"}));
  EXPECT_TRUE(p.Has("a", "K"));
  EXPECT_FALSE(p.Has("a", "bare"));
  EXPECT_FALSE(p.Has("a", "m"));
}

// A listed name reads and writes its own section: a header no name finds is not listed.
TEST(ProfileTest, ListedSectionsAreTheOnesReadAndWritten) {
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"[;pprai[Header[Header]\nK=1\n[;pprai[Header[Header ]\nK=2\n", {";pprai[Header[Header"}},
      {"[ s]\nK=1\n[s]\nK=2\n[]\nK=3\n", {"s"}},
      {"[s\t]\nK=1\n[S]\nK=2\n[t]\nK=3\n[s]\nK=4\n", {"S", "t", "s"}},
  };
  for (const auto& [text, sections] : cases) {
    const Profile p = Profile::Parse(text);
    EXPECT_EQ(p.Sections(), sections) << text;
    for (const std::string& set : p.Sections()) {
      Profile q = Profile::Parse(text);
      q.Set(set, "K", "new");
      const Profile again = Profile::Parse(q.Text());
      for (const std::string& other : p.Sections()) {
        const bool same = strcasecmp(set.c_str(), other.c_str()) == 0;
        EXPECT_EQ(again.Get(other, "K"), same ? "new" : p.Get(other, "K")) << text << set;
      }
    }
  }
}

struct WriteCase {
  const char* name;
  std::string before;
  std::vector<std::array<const char*, 3>> sets;
  std::string after;
};

TEST(ProfileTest, Writes) {
  const WriteCase cases[] = {
      {"key by key from empty",
       "",
       {{"Header", "A", "1"}, {"Header", "B", "2"}, {"S2", "C", "3"}},
       "[Header]\r\nA=1\r\nB=2\r\n[S2]\r\nC=3\r\n"},
      {"replace in place with caller's name",
       "[s]\n k = old \n;note\nj=2\n",
       {{"S", "K", "new"}},
       "[s]\r\nK=new\r\n;note\r\nj=2\r\n"},
      {"new key before trailing blanks",
       "[a]\nk=1\n;c\n\n\n[b]\nz=1\n",
       {{"a", "n", "2"}, {"b", "y", "3"}},
       "[a]\r\nk=1\r\n;c\r\nn=2\r\n\r\n\r\n[b]\r\nz=1\r\ny=3\r\n"},
      {"first of duplicate sections edited",
       "[a]\n\n[A]\nk=1\n",
       {{"a", "k", "2"}, {"a", "k", "3"}},
       "[a]\r\nk=3\r\n\r\n[A]\r\nk=1\r\n"},
      {"bare entry replaced", "[a]\nk\n", {{"a", "k", "1"}}, "[a]\r\nk=1\r\n"},
      {"new section after blank tail",
       "[a]\nk=1\n\n",
       {{"b", "j", "2"}},
       "[a]\r\nk=1\r\n\r\n[b]\r\nj=2\r\n"},
  };
  for (const WriteCase& c : cases) {
    Profile p = Profile::Parse(c.before);
    for (const auto& s : c.sets) p.Set(s[0], s[1], s[2]);
    EXPECT_EQ(p.Text(), c.after) << c.name;
    // The kept index must agree with a fresh parse of the result.
    Profile again = Profile::Parse(p.Text());
    for (const auto& s : c.sets) {
      EXPECT_EQ(p.Get(s[0], s[1]), again.Get(s[0], s[1])) << c.name;
      EXPECT_EQ(p.Keys(s[0]), again.Keys(s[0])) << c.name;
    }
  }
}

TEST(ProfileTest, ManyKeysIntoOneSectionStayInOrder) {
  Profile p = Profile::Parse("[a]\nx=0\n\n[b]\nz=1\n");
  for (int i = 0; i < 720; ++i) p.Set("a", "k" + std::to_string(i), std::to_string(i));
  EXPECT_EQ(p.Keys("a").size(), 721u);
  EXPECT_EQ(p.Keys("a").back(), "k719");
  EXPECT_EQ(p.Get("a", "k500"), "500");
  EXPECT_EQ(p.Get("b", "z"), "1");
  EXPECT_EQ(Profile::Parse(p.Text()).Text(), p.Text());
}

struct CopyCase {
  const char* name;
  const char* key;
  size_t n;
  std::string want;  // buffer contents up to and including the last written NUL
  size_t ret;
};

TEST(ProfileTest, GetStringCopiesLikeWindows) {
  Profile p = Profile::Parse("[s]\nk=abc\nlong=value\n");
  const CopyCase cases[] = {
      {"fits with room", "k", 8, std::string("abc\0", 4), 3},
      {"exact fit", "k", 4, std::string("abc\0", 4), 3},
      {"one short", "k", 3, std::string("ab\0", 3), 2},
      {"room for terminator only", "k", 1, std::string("\0", 1), 0},
      {"default when missing", "none", 8, std::string("def\0", 4), 3},
      {"key list fits", "", 12, std::string("k\0long\0\0", 8), 7},
      {"key list exact", "", 8, std::string("k\0long\0\0", 8), 7},
      {"key list cut", "", 7, std::string("k\0lon\0\0", 7), 5},
      {"key list two bytes", "", 2, std::string("\0\0", 2), 0},
  };
  for (const CopyCase& c : cases) {
    char buf[16];
    memset(buf, 'X', sizeof(buf));
    EXPECT_EQ(p.GetString("s", c.key, "def", buf, c.n), c.ret) << c.name;
    EXPECT_EQ(std::string(buf, c.want.size()), c.want) << c.name;
    EXPECT_EQ(buf[c.n], 'X') << c.name << ": wrote past n";
  }
  char untouched = 'X';
  EXPECT_EQ(p.GetString("s", "k", "", &untouched, 0), 0u);
  EXPECT_EQ(untouched, 'X');
}

TEST(ProfileTest, SaveLoadRoundTrip) {
  testing::TempPrefix prefix;
  std::string path = prefix.path() + "/app.ini";
  bool exists = true;
  Profile p = Profile::Load(path, &exists);
  EXPECT_FALSE(exists);
  EXPECT_EQ(p.Text(), "");
  { std::ofstream(path, std::ios::binary) << "; top\n[s]\r\nk=1\n\n"; }
  p = Profile::Load(path, &exists);
  EXPECT_TRUE(exists);
  p.Set("s", "j", "2");
  ASSERT_TRUE(p.Save(path));
  std::stringstream got;
  got << std::ifstream(path, std::ios::binary).rdbuf();
  EXPECT_EQ(got.str(), "; top\r\n[s]\r\nk=1\r\nj=2\r\n\r\n");
  EXPECT_EQ(Profile::Load(path).Get("s", "j"), "2");
}

TEST(ProfileTest, SaveFailsWithoutLeavingTemporaries) {
  testing::TempPrefix prefix;
  Profile p = Profile::Parse("[s]\nk=2\n");
  EXPECT_FALSE(p.Save(prefix.path() + "/missing/app.ini"));
  // Renaming over a non-empty folder fails even for root, after the temporary exists.
  std::string busy = prefix.path() + "/busy";
  ASSERT_EQ(mkdir(busy.c_str(), 0755), 0);
  std::ofstream(busy + "/inside") << "x";
  EXPECT_FALSE(p.Save(busy));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(prefix.path()), {}), 1);
}

TEST(ProfileTest, SaveToUnwritableFolderFailsAndKeepsFile) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes anywhere";
  testing::TempPrefix prefix;
  std::string dir = prefix.path() + "/ro";
  std::string path = dir + "/app.ini";
  ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
  { std::ofstream(path, std::ios::binary) << "[s]\r\nk=1\r\n"; }
  ASSERT_EQ(chmod(dir.c_str(), 0555), 0);
  Profile p = Profile::Parse("[s]\nk=2\n");
  EXPECT_FALSE(p.Save(path));
  EXPECT_EQ(Profile::Load(path).Get("s", "k"), "1");
  chmod(dir.c_str(), 0755);
}

}  // namespace
}  // namespace nb
