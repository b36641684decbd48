// Test ground for the common responses: a program folder inside a fresh desktop prefix,
// small dBASE tables written in the store's own file layout (text and memo columns), and
// readers for the error log and the Outbox.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "globals.h"
#include "test_prefix.h"

namespace commresp_test {

struct Column {
  std::string name;
  int width;  // 254 or more: a memo column
};

using Rows = std::vector<std::vector<std::string>>;

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream(path, std::ios::binary) << data;
}

inline bool Exists(const std::string& path) { return std::filesystem::exists(path); }

// A table with rows as dbfstore writes one: text columns blank-padded, memo text in
// 512-byte blocks of the .dbt beside it.
inline void WriteTable(const std::string& path, const std::vector<Column>& columns,
                       const Rows& rows) {
  auto put16 = [](std::string& s, size_t at, uint32_t v) {
    s[at] = char(v & 0xFF);
    s[at + 1] = char(v >> 8 & 0xFF);
  };
  auto put32 = [&](std::string& s, size_t at, uint32_t v) {
    put16(s, at, v & 0xFFFF);
    put16(s, at + 2, v >> 16);
  };
  bool memo = false;
  size_t record = 1;
  for (const Column& c : columns) {
    memo |= c.width >= 254;
    record += c.width >= 254 ? 10 : size_t(c.width);
  }
  std::string dbf(32, '\0');
  dbf[0] = char(memo ? 0x8B : 0x03);
  dbf[1] = 126, dbf[2] = 1, dbf[3] = 1;
  put32(dbf, 4, uint32_t(rows.size()));
  put16(dbf, 8, uint32_t(32 * columns.size() + 33));
  put16(dbf, 10, uint32_t(record));
  for (const Column& c : columns) {
    std::string d(32, '\0');
    std::memcpy(d.data(), c.name.data(), std::min<size_t>(c.name.size(), 11));
    d[11] = c.width >= 254 ? 'M' : 'C';
    put32(d, 12, 0x4E424D00);
    d[16] = char(c.width >= 254 ? 10 : c.width);
    dbf += d;
  }
  dbf += '\x0D';
  std::string dbt(512, '\0');
  for (const auto& row : rows) {
    dbf += ' ';
    for (size_t i = 0; i < columns.size(); ++i) {
      const std::string& v = row[i];
      if (columns[i].width < 254) {
        dbf += v.substr(0, columns[i].width) +
               std::string(columns[i].width - std::min<size_t>(v.size(), columns[i].width), ' ');
        continue;
      }
      std::string entry = std::string("\xFF\xFF\x08\x00", 4) + std::string(4, '\0') + v;
      put32(entry, 4, uint32_t(v.size() + 8));
      entry.resize((entry.size() + 511) / 512 * 512, '\0');
      std::string block = std::to_string(dbt.size() / 512);
      dbf += std::string(10 - block.size(), ' ') + block;
      dbt += entry;
    }
  }
  dbf += '\x1A';
  WriteFile(path, dbf);
  if (!memo) return;
  put32(dbt, 0, uint32_t(dbt.size() / 512));
  std::string base = std::filesystem::path(path).stem().string();
  std::memcpy(dbt.data() + 8, base.data(), std::min<size_t>(base.size(), 8));
  put16(dbt, 18, 0x0102);
  put32(dbt, 20, 512);
  WriteFile(std::filesystem::path(path).replace_extension(".dbt").string(), dbt);
}

// A program folder with its System, Outbox and Inbox, set as the program's folders.
class Desktop : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* sub : {"/System", "/Outbox", "/Inbox"})
      std::filesystem::create_directories(prefix_.path() + "/Valtrix" + sub);
    valtrix::SetAppFolders(valtrix::MakeFolders(prefix_.path() + "/Valtrix"));
  }

  const valtrix::Folders& folders() const { return valtrix::AppFolders(); }
  std::string commresp() const { return folders().outbox + "commresp.dat"; }
  std::string filtered() const { return folders().outbox + "cmfiltered.dat"; }
  std::string table(const std::string& name) const { return folders().system + name + ".dbf"; }

  // Messages of the error log, without their date and time.
  std::vector<std::string> Logged() const {
    std::vector<std::string> out;
    std::istringstream log(ReadFile(folders().program + "/errorlog.txt"));
    for (std::string line; std::getline(log, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      for (const char* m : {"Common Response Import error", "Common Response Filtering error",
                            "Error clearing handheld tags"}) {
        if (line.ends_with(std::string(" ") + m)) line = m;
      }
      out.push_back(line);
    }
    return out;
  }

 private:
  nb::testing::TempPrefix prefix_;
};

}  // namespace commresp_test
