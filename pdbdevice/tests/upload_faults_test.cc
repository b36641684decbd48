// A table coming up from the handheld over an old one, with a failing or a killed write at
// each step: the desktop table is the old one or the new one, whole, and nothing else is
// left beside it.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <set>

#include "device_fixture.h"
#include "platform/os.h"

namespace pdbdevice::testing {
namespace {

Table Sample(const std::string& tag, int n) {
  Table t;
  t.fields = {Field("N", FieldType::Number, 4), Field("NOTE", FieldType::Text, 300)};
  for (int i = 0; i < n; ++i)
    t.records.push_back(
        {FieldValue::Int32(i), FieldValue::Text(tag + " memo " + std::to_string(i))});
  return t;
}

std::string Describe(nb::OsCall call, int n) {
  return "fault at call kind " + std::to_string(int(call)) + ", number " + std::to_string(n);
}

class UploadFaults : public PdbDevice {
 protected:
  void SetUp() override {
    PdbDevice::SetUp();
    std::filesystem::create_directories(Path("sys"));
    WriteTable(Path("new.dbf"), Sample("new", 5));
    ASSERT_TRUE(Put(Path("new.dbf"), Path("new.pdb")));
  }

  void WriteOld() {
    WriteTable(table_, Sample("old", 3));
    old_dbf_ = ReadFile(table_);
    old_dbt_ = ReadFile(memo_);
    std::remove(ui_log_.c_str());
  }
  bool OldBytes() const { return ReadFile(table_) == old_dbf_ && ReadFile(memo_) == old_dbt_; }

  // "old" or "new" when the table reads as one of them whole. Opening it finishes a
  // replacement a killed writer left.
  std::string Which() const {
    const Table t = ReadTable(table_);
    for (const Table& want : {Sample("old", 3), Sample("new", 5)}) {
      if (std::equal(t.records.begin(), t.records.end(), want.records.begin(), want.records.end()))
        return want.records.size() == 3 ? "old" : "new";
    }
    return "mixed";
  }

  std::set<std::string> Files() const {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(Path("sys")))
      names.insert(e.path().filename().string());
    return names;
  }

  const std::string table_ = Path("sys/T.dbf"), memo_ = Path("sys/T.dbt");
  const std::set<std::string> clean_ = {"T.dbf", "T.dbt"};
  std::vector<uint8_t> old_dbf_, old_dbt_;
};

TEST_F(UploadFaults, FailuresKeepTheOldTableAndAreReported) {
  struct Fault {
    nb::OsCall call;
    int err;
  };
  for (const Fault f : {Fault{nb::OsCall::kWrite, ENOSPC}, Fault{nb::OsCall::kFsync, EIO},
                        Fault{nb::OsCall::kRename, EIO}}) {
    for (int n = 1;; ++n) {
      const std::string at = Describe(f.call, n);
      WriteOld();
      nb::FaultyOs faulty(f.call, n, f.err);
      bool ok;
      {
        nb::ScopedOs scoped(faulty);
        ok = Get(Path("new.pdb"), table_);
      }
      if (!faulty.fired()) {
        EXPECT_TRUE(ok) << at;
        EXPECT_EQ(Which(), "new");
        EXPECT_GT(n, 2);
        break;
      }
      EXPECT_FALSE(ok) << at;
      EXPECT_NE(Boxes().find("\\n\\nPath: " + Path("new.pdb")), std::string::npos) << at;
      if (OldBytes()) {
        EXPECT_EQ(Files(), clean_) << at;
      } else {
        // Only past the point of no return: the new pair goes in place, at the latest when
        // the table is next opened.
        EXPECT_NE(f.call, nb::OsCall::kWrite) << at;
        EXPECT_EQ(Which(), "new") << at;
        EXPECT_EQ(Files(), clean_) << at;
      }
    }
  }
}

TEST_F(UploadFaults, KilledAtAnyStepTheTableIsOldOrNewWhole) {
  std::set<std::string> outcomes;
  for (nb::OsCall call : {nb::OsCall::kWrite, nb::OsCall::kFsync, nb::OsCall::kRename}) {
    for (int n = 1;; ++n) {
      const std::string at = Describe(call, n);
      WriteOld();
      const pid_t child = fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        nb::FaultyOs faulty(call, n, 0, true);
        nb::ScopedOs scoped(faulty);
        _exit(Get(Path("new.pdb"), table_) ? 0 : 1);
      }
      int status = 0;
      ASSERT_EQ(waitpid(child, &status, 0), child);
      if (!WIFSIGNALED(status)) {
        EXPECT_EQ(WEXITSTATUS(status), 0) << at;
        break;
      }
      const std::string which = Which();
      EXPECT_NE(which, "mixed") << at;
      outcomes.insert(which);
      nb::RemoveAbandonedTemporaries(Path("sys"));
      EXPECT_EQ(Files(), clean_) << at;
    }
  }
  EXPECT_EQ(outcomes, (std::set<std::string>{"old", "new"}));
}

}  // namespace
}  // namespace pdbdevice::testing
