// Tables written by the store, read by an independent reader (python3-dbfread).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <sstream>

#include "store_test_util.h"

namespace {

using dbftest::Desk;
using dbftest::Field;

std::string Json(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (uint8_t(c) < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string S(const std::string& v) { return "{\"t\":\"s\",\"v\":" + Json(v) + "}"; }
std::string I(long long v) { return "{\"t\":\"i\",\"v\":" + std::to_string(v) + "}"; }
std::string F(double v) {
  std::ostringstream o;
  o.precision(17);
  o << v;
  return "{\"t\":\"f\",\"v\":" + o.str() + "}";
}
std::string B(bool v) { return std::string("{\"t\":\"b\",\"v\":") + (v ? "true" : "false") + "}"; }
std::string D(const std::string& v) { return "{\"t\":\"d\",\"v\":\"" + v + "\"}"; }
std::string X(const std::string& hex) { return "{\"t\":\"x\",\"v\":\"" + hex + "\"}"; }
std::string N() { return "{\"t\":\"n\"}"; }

struct Expectation {
  std::vector<std::string> fields;  // JSON arrays
  std::vector<std::vector<std::string>> records;
  int deleted = 0;
};

// Runs the reader on the table; its complaints become test failures.
void ExpectReaderAgrees(const Desk& desk, const std::string& table, const Expectation& e) {
  const std::string json = desk.Path("expected.json");
  {
    std::ofstream out(json);
    out << "{\"fields\":[";
    for (size_t i = 0; i < e.fields.size(); ++i) out << (i ? "," : "") << e.fields[i];
    out << "],\"records\":[";
    for (size_t i = 0; i < e.records.size(); ++i) {
      out << (i ? "," : "") << "[";
      for (size_t j = 0; j < e.records[i].size(); ++j) out << (j ? "," : "") << e.records[i][j];
      out << "]";
    }
    out << "],\"deleted\":" << e.deleted << "}";
  }
  const std::string command =
      "/usr/bin/python3 " DBFSTORE_TEST_DIR "/check_dbfread.py '" + table + "' '" + json + "' 2>&1";
  FILE* p = popen(command.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string output;
  char buf[512];
  while (size_t n = fread(buf, 1, sizeof buf, p)) output.append(buf, n);
  const int status = pclose(p);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << table << ":\n" << output;
}

std::string Desc(const char* name, char letter, int length, int decimals) {
  return std::string("[\"") + name + "\",\"" + letter + "\"," + std::to_string(length) + "," +
         std::to_string(decimals) + "]";
}

TEST(DbfstoreIndependentReader, AgreesOnEveryTypeNullsAndDeletions) {
  Desk desk;
  const std::string path = desk.Path("APRINFO.DBF");
  const uint8_t photo[] = {0x89, 'P', 'N', 'G', 0x00, 0x1A, 0xFF, 0x01};
  {
    auto store = dbftest::Store();
    for (const FieldDesc& f :
         {Field("NAME", FieldType::Text, 20), Field("NOTES", FieldType::Text, 400),
          Field("SMALL", FieldType::Number, 6), Field("BIG", FieldType::Number, 15),
          Field("PRICE", FieldType::Number, 12, 3), Field("DONE", FieldType::Logical, 1),
          Field("DAY", FieldType::Date, 8), Field("AT", FieldType::Time, 8),
          Field("PHOTO", FieldType::Binary, 0), Field("STAMP", FieldType::TimeStamp, 19)})
      ASSERT_TRUE(store->AddField(f));
    ASSERT_TRUE(store->Create(path, false));
    const int64_t stamp = PackTimeStamp(2024, 2, 29, 15, 26, 11);
    ASSERT_TRUE(store->AddRecord(
        {FieldValue::Text("O'Brien \"Jr\""), FieldValue::Text("Roof: new\nSiding: vinyl"),
         FieldValue::Int32(-99999), FieldValue::Int64(987654321012345),
         FieldValue::Double(-1234.125), FieldValue::Logical(true), FieldValue::Date(20240229),
         FieldValue::Time(152611), FieldValue::Binary(photo, sizeof photo),
         FieldValue::TimeStamp(stamp)}));
    ASSERT_TRUE(store->AddRecord({FieldValue::Text("to be deleted"), FieldValue::Text("gone"),
                                  FieldValue::Int32(1), FieldValue::Int64(2), FieldValue::Double(3),
                                  FieldValue::Logical(false), FieldValue::Date(19990101),
                                  FieldValue::Time(0), FieldValue::Null(), FieldValue::Null()}));
    ASSERT_TRUE(store->AddRecord(std::vector<FieldValue>(10, FieldValue::Null())));
    ASSERT_TRUE(store->AddRecord(
        {FieldValue::Text(std::string(30, 'w')), FieldValue::Text(std::string(1500, 'm')),
         FieldValue::Int32(0), FieldValue::Int64(-1), FieldValue::Double(0.001),
         FieldValue::Logical(false), FieldValue::Date(10000101), FieldValue::Time(235959),
         FieldValue::Null(), FieldValue::TimeStamp(0)}));
    store->Close();
  }
  auto bytes = dbftest::ReadBytes(path);
  const size_t header = 32 * 10 + 33, record = 1 + 20 + 10 + 6 + 15 + 12 + 1 + 8 + 8 + 10 + 19;
  bytes[header + record] = '*';
  dbftest::WriteBytes(path, bytes);

  Expectation e;
  e.fields = {Desc("NAME", 'C', 20, 0), Desc("NOTES", 'M', 10, 0), Desc("SMALL", 'N', 6, 0),
              Desc("BIG", 'N', 15, 0),  Desc("PRICE", 'N', 12, 3), Desc("DONE", 'L', 1, 0),
              Desc("DAY", 'D', 8, 0),   Desc("AT", 'C', 8, 0),     Desc("PHOTO", 'G', 10, 0),
              Desc("STAMP", 'N', 19, 0)};
  e.records = {{S("O'Brien \"Jr\""), S("Roof: new\nSiding: vinyl"), I(-99999), I(987654321012345),
                F(-1234.125), B(true), D("2024-02-29"), S("15:26:11"), X("89504e47001aff01"),
                I(PackTimeStamp(2024, 2, 29, 15, 26, 11))},
               {S(""), S(""), N(), N(), N(), B(false), N(), S(""), N(), N()},
               {S(std::string(20, 'w')), S(std::string(1500, 'm')), I(0), I(-1), F(0.001), B(false),
                D("1000-01-01"), S("23:59:59"), N(), I(0)}};
  e.deleted = 1;
  ExpectReaderAgrees(desk, path, e);
}

TEST(DbfstoreIndependentReader, AgreesOnEmptyAndFieldlessTables) {
  Desk desk;
  {
    auto store = dbftest::Store();
    ASSERT_TRUE(store->Create(desk.Path("NOFIELDS.DBF"), false));
    ASSERT_TRUE(store->AddRecord({}));
    store->Close();
    store->Reset();
    store->AddField(Field("CODE", FieldType::Text, 4));
    store->AddField(Field("MEMO", FieldType::Text, 1000));
    ASSERT_TRUE(store->Create(desk.Path("NORECS.DBF"), false));
    store->Close();
  }
  Expectation none;
  none.records = {{}};
  ExpectReaderAgrees(desk, desk.Path("NOFIELDS.DBF"), none);
  Expectation empty;
  empty.fields = {Desc("CODE", 'C', 4, 0), Desc("MEMO", 'M', 10, 0)};
  ExpectReaderAgrees(desk, desk.Path("NORECS.DBF"), empty);
}

}  // namespace
