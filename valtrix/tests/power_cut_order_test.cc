// What must reach the disk, and in which order, so that a power cut loses nothing: the calls
// through the OS seam are noted, stage by stage, and each case names events whose last
// occurrences must come in this order (a folder made, then its parent synced; a table
// changed, then synced, then the file that brought the change moved on).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "commresp/common_responses.h"
#include "durability.h"
#include "export/export_appraisal.h"
#include "export_fixture.h"
#include "globals.h"
#include "import/import_appraisals.h"
#include "import/imported_files.h"
#include "platform/os.h"
#include "test_prefix.h"

namespace {

// Notes "mkdir P", "write P", "fsync P", "rename FROM" and "msync"; P without a trailing slash.
class NotingOs : public nb::Os {
 public:
  std::vector<std::string> log;

  int Open(const char* path, int flags, mode_t mode) override {
    const int fd = nb::Os::Open(path, flags, mode);
    if (fd >= 0) paths_[fd] = Clean(path);
    return fd;
  }
  int Close(int fd) override {
    paths_.erase(fd);
    return nb::Os::Close(fd);
  }
  int Mkdir(const char* path, mode_t mode) override {
    const int rc = nb::Os::Mkdir(path, mode);
    if (rc == 0) log.push_back("mkdir " + Clean(path));
    return rc;
  }
  ssize_t Write(int fd, const void* data, size_t n) override {
    log.push_back("write " + paths_[fd]);
    return nb::Os::Write(fd, data, n);
  }
  ssize_t PWrite(int fd, const void* data, size_t n, off_t offset) override {
    log.push_back("write " + paths_[fd]);
    return nb::Os::PWrite(fd, data, n, offset);
  }
  int Fsync(int fd) override {
    log.push_back("fsync " + paths_[fd]);
    return nb::Os::Fsync(fd);
  }
  int Rename(const char* from, const char* to) override {
    log.push_back("rename " + Clean(from));
    return nb::Os::Rename(from, to);
  }
  int Msync(void* address, size_t n, int flags) override {
    log.push_back("msync");
    return nb::Os::Msync(address, n, flags);
  }

 private:
  static std::string Clean(std::string path) {
    for (size_t at; (at = path.find("//")) != std::string::npos;) path.erase(at, 1);
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
  }
  std::map<int, std::string> paths_;
};

// The position of the last event matching `pattern` (a trailing '*' matches any rest).
long Last(const std::vector<std::string>& log, const std::string& pattern) {
  const bool prefix = !pattern.empty() && pattern.back() == '*';
  const std::string stem = prefix ? pattern.substr(0, pattern.size() - 1) : pattern;
  for (long i = long(log.size()) - 1; i >= 0; --i)
    if (prefix ? log[size_t(i)].rfind(stem, 0) == 0 : log[size_t(i)] == stem) return i;
  return -1;
}

TEST(PowerCutOrder, EachChangeIsOnTheDiskBeforeWhatDependsOnIt) {
  nb::testing::TempPrefix prefix;
  const std::string program = prefix.path() + "/Valtrix";
  const valtrix::Folders folders = valtrix::MakeFolders(program);
  std::filesystem::create_directories(folders.system);
  valtrix::SetAppFolders(folders);
  ASSERT_TRUE(export_fixture::RunAprgen({"-n", "1", "--marked", "all"}, folders.system));
  const std::string p = program, s = p + "/System", o = p + "/Outbox";

  NotingOs os;
  nb::ScopedOs scoped(os);
  std::map<std::string, std::vector<std::string>> logs;
  auto stage = [&](const std::string& name, auto run) {
    os.log.clear();
    run();
    logs[name] = os.log;
  };
  stage("folders", [&] { valtrix::CreateFolders(folders); });
  stage("export", [&] { valtrix::ExportAppraisal(1); });
  for (const auto& e : std::filesystem::directory_iterator(folders.inbox))
    std::filesystem::copy_file(e.path(), folders.outbox + "a.vxa");
  std::ofstream(folders.outbox + "commresp.dat") << "[ROOF]\r\nSlate\r\n[HEATING]\r\nStove\r\n";
  stage("import", [&] {
    std::vector<std::string> names;
    std::vector<int16_t> ids;
    valtrix::ImportAppraisals(names, &ids);
    ASSERT_EQ(names.size(), 1u);
    valtrix::KeepImportedFile(names[0], ids[0]);
  });
  stage("responses", [&] { valtrix::ImportCommonResponses(); });

  const struct {
    const char* stage;
    std::vector<std::string> order;
  } cases[] = {
      {"folders", {"mkdir " + p + "/Inbox", "fsync " + p}},
      {"folders", {"mkdir " + p + "/Outbox", "fsync " + p}},
      {"export",
       {"fsync " + p + "/Inbox", "write " + s + "/AprSubj.dbf", "fsync " + s + "/AprSubj.dbf"}},
      {"import",
       {"write " + s + "/AprSubj.dbf", "fsync " + s + "/AprSubj.dbf", "rename " + o + "/a.vxa"}},
      {"import",
       {"write " + s + "/AprVC.dbf", "fsync " + s + "/AprVC.dbf", "rename " + o + "/a.vxa"}},
      {"import", {"mkdir " + s + "/Imported", "fsync " + s, "rename " + o + "/a.vxa"}},
      {"responses",
       {"write " + s + "/Apk*", "fsync " + s + "/Apk*", "rename " + o + "/commresp.dat"}},
  };
  for (const auto& c : cases) {
    const std::vector<std::string>& log = logs[c.stage];
    long previous = -1;
    for (const std::string& event : c.order) {
      const long at = Last(log, event);
      EXPECT_GT(at, previous) << c.stage << ": \"" << event << "\" missing or too early";
      previous = at;
    }
  }
}

}  // namespace
