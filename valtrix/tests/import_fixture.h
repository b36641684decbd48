// A program folder of its own per test (System, Outbox, Inbox below a fresh desktop prefix)
// with generated appraisal tables, and helpers to write appraisal data files and read back
// what the import stored.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "dao/dao.h"
#include "globals.h"
#include "test_prefix.h"

namespace valtrix::testing {

using Keys = std::vector<std::pair<std::string, std::string>>;

// An appraisal data file: "[Header]" with MajorForm (none when form is null), then the keys.
inline std::string Vxa(const char* form, const Keys& keys) {
  std::string text;
  if (form) text += std::string("[Header]\r\nMajorForm=") + form + "\r\n";
  text += "[AppraisalData]\r\n";
  for (const auto& [key, value] : keys) text += key + "=" + value + "\r\n";
  return text;
}

class ImportFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = prefix_.path() + "/Valtrix";
    Folders folders = MakeFolders(program_);
    for (const std::string& dir : {program_, folders.system, folders.outbox, folders.inbox}) {
      std::filesystem::create_directories(dir);
    }
    SetAppFolders(folders);
  }

  // The fourteen tables written by the generator program, run with these options
  // (no sample appraisal unless asked for).
  void MakeTables(std::vector<std::string> args = {}) {
    std::string command = std::string(NB_BIN_DIR) + "/aprgen --count 0";
    for (const std::string& arg : args) command += " '" + arg + "'";
    command += " '" + AppFolders().system + "' >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }

  void Put(const std::string& name, const std::string& text) {
    std::ofstream(AppFolders().outbox + name, std::ios::binary) << text;
  }
  bool InOutbox(const std::string& name) const {
    return std::filesystem::exists(AppFolders().outbox + name);
  }

  std::string ErrorLog() const {
    std::ifstream in(program_ + "/errorlog.txt", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  // Rows of `table` with this AprID.
  int Rows(const std::string& table, int apr_id) {
    dao::Database db = dao::Database::Open(AppFolders().system);
    return db.Where(table, "AprID", dao::Value::Number(apr_id)).RecordCount();
  }
  int RowsInAll(int apr_id) {
    int n = 0;
    for (const char* t :
         {"AprSubj", "AprHood", "AprSite", "AprRmCt", "AprDsc1", "AprDsc2", "AprDsc3", "AprVC"}) {
      n += Rows(t, apr_id);
    }
    return n;
  }
  // A field of the (last) row of `table` with this AprID.
  dao::Value Get(const std::string& table, int apr_id, const std::string& field) {
    dao::Database db = dao::Database::Open(AppFolders().system);
    dao::Recordset rs = db.Where(table, "AprID", dao::Value::Number(apr_id));
    if (rs.RecordCount() == 0) ADD_FAILURE() << "no " << table << " row for " << apr_id;
    if (rs.RecordCount() == 0) return {};
    rs.MoveLast();
    return rs.Get(field);
  }

  nb::testing::TempPrefix prefix_;
  std::string program_;
};

}  // namespace valtrix::testing
