// NB_RECORD: two processes change files through TheOs() at once; the shared log holds, for
// each, the records of its changes in order, whole, and nothing for what changes no file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/os.h"
#include "test_files.h"
#include "test_prefix.h"

namespace nb {
namespace {

struct Case {
  std::function<void(const std::string& dir)> calls;
  std::vector<std::string> records;  // kind, base name, then what the kind holds
};

int OpenNew(const std::string& path) {
  return TheOs().Open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

const Case kCases[] = {
    {[](const std::string& d) {
       int fd = OpenNew(d + "/a");
       WriteAll(fd, "hello", 5);
       PWriteAll(fd, "X", 1, 9);
       TheOs().Fsync(fd);
       TheOs().Ftruncate(fd, 3);
       TheOs().Close(fd);
     },
     {"open a", "write a 0 hello", "write a 9 X", "fsync a file", "truncate a 3"}},
    // An open file keeps its name in the records after a rename: the identity is the inode.
    {[](const std::string& d) {
       int fd = OpenNew(d + "/b");
       TheOs().Rename((d + "/b").c_str(), (d + "/c").c_str());
       WriteAll(fd, "z", 1);
       TheOs().Close(fd);
       TheOs().Unlink((d + "/c").c_str());
     },
     {"open b", "rename b c", "write b 0 z", "unlink c"}},
    {[](const std::string& d) {
       TheOs().Mkdir((d + "/f").c_str(), 0755);
       SyncFolder(d + "/f");
       TheOs().Symlink("a", (d + "/l").c_str());
       TheOs().Chmod((d + "/a").c_str(), 0600);
     },
     {"mkdir f", "fsync f folder", "symlink l a", "chmod a 384"}},
    {[](const std::string& d) {
       int fd = OpenNew(d + "/m");
       TheOs().Ftruncate(fd, 8);
       char* map = static_cast<char*>(TheOs().Mmap(8, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
       memcpy(map, "mapped!!", 8);
       TheOs().Msync(map, 8, MS_SYNC);
       map[0] = 'M';
       TheOs().Munmap(map, 8);
       TheOs().Close(fd);
     },
     {"open m", "truncate m 8", "msync m 0 mapped!!", "munmap m 0 Mapped!!"}},
    // Reading, failing and writing to a pipe change no file.
    {[](const std::string& d) {
       std::string text;
       ReadWholeFile(d + "/a", &text);
       TheOs().Unlink((d + "/none").c_str());
       int p[2];
       if (pipe(p) == 0) WriteAll(p[1], "x", 1), close(p[0]), close(p[1]);
     },
     {}},
};

uint64_t Get(const std::string& s, size_t* at, int bytes) {
  uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= uint64_t(uint8_t(s[*at + size_t(i)])) << (8 * i);
  *at += size_t(bytes);
  return v;
}
std::string Text(const std::string& s, size_t* at) {
  const size_t n = Get(s, at, 4);
  *at += n;
  return s.substr(*at - n, n);
}
std::string Base(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// The log as the test's words, by process; files by the name they were opened under.
std::map<uint32_t, std::vector<std::string>> Decode(const std::string& log) {
  static const char* kKinds[] = {"",       "open",  "write", "truncate", "fsync",   "rename",
                                 "unlink", "mkdir", "msync", "munmap",   "symlink", "chmod"};
  std::map<uint32_t, std::vector<std::string>> out;
  std::map<uint64_t, std::string> names;
  size_t at = 0;
  while (at + 9 <= log.size()) {
    const size_t size = Get(log, &at, 4), end = at + size;
    const unsigned kind = uint8_t(log[at++]);
    const uint32_t pid = uint32_t(Get(log, &at, 4));
    std::string words = kKinds[kind < 12 ? kind : 0];
    uint64_t ino = 0;
    if (kind == 1 || kind == 2 || kind == 3 || kind == 4 || kind == 8 || kind == 9)
      Get(log, &at, 8), ino = Get(log, &at, 8);
    if (kind == 1) Get(log, &at, 8), names[ino] = Base(Text(log, &at));
    const char* what = kind == 4 ? (Get(log, &at, 1) ? " folder" : " file") : "";
    if (kind == 4) names[ino] = Base(Text(log, &at));
    if (ino) words += " " + names[ino] + what;
    if (kind == 2 || kind == 8 || kind == 9) {
      words += " " + std::to_string(Get(log, &at, 8));
      words += " " + Text(log, &at);
    }
    if (kind == 3) words += " " + std::to_string(Get(log, &at, 8));
    if (kind == 5 || kind == 10) {
      const std::string a = Text(log, &at), b = Text(log, &at);
      words += kind == 5 ? " " + Base(a) + " " + Base(b) : " " + Base(b) + " " + a;
    }
    if (kind == 6 || kind == 7 || kind == 11) words += " " + Base(Text(log, &at));
    if (kind == 11) words += " " + std::to_string(Get(log, &at, 4));
    EXPECT_EQ(at, end) << words;
    at = end;
    out[pid].push_back(words);
  }
  EXPECT_EQ(at, log.size()) << "a torn record";
  return out;
}

TEST(Record, TwoProcessesShareOneLogInTheOrderTheirCallsReturned) {
  testing::TempPrefix prefix;
  const std::string log = prefix.path() + "/changes.log";
  // Before the first call through TheOs(), which reads it.
  setenv("NB_RECORD", log.c_str(), 1);
  std::vector<std::string> want;
  for (const Case& c : kCases) want.insert(want.end(), c.records.begin(), c.records.end());
  // Folders of their own, made around the seam: no record.
  for (const char* who : {"parent", "child"}) {
    for (int round = 0; round < 20; ++round)
      std::filesystem::create_directories(prefix.path() + "/" + who + std::to_string(round));
  }
  auto run = [&](const char* who) {
    for (int round = 0; round < 20; ++round) {
      for (const Case& c : kCases) c.calls(prefix.path() + "/" + who + std::to_string(round));
    }
  };
  const pid_t child = fork();
  if (child == 0) {
    run("child");
    _exit(0);
  }
  run("parent");
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_EQ(status, 0);
  std::string bytes;
  ASSERT_TRUE(ReadWholeFile(log, &bytes));
  const auto by_process = Decode(bytes);
  ASSERT_EQ(by_process.size(), 2u);
  for (const auto& [pid, records] : by_process) {
    ASSERT_EQ(records.size(), want.size() * 20) << pid;
    for (size_t i = 0; i < records.size(); ++i) EXPECT_EQ(records[i], want[i % want.size()]);
  }
}

}  // namespace
}  // namespace nb
