// The table both store benchmarks write and read: 20 fields of every kind, one of them a
// memo-sized text, and the peak-memory probes they report with.
#pragma once

#include <stdlib.h>

#include <fstream>
#include <string>
#include <vector>

#include "nbddb/plugin.h"

namespace nb::bench {

constexpr int kRecords = 100000;

// A fresh desktop folder for the whole run (NB_PREFIX), headless.
inline std::string Folder() {
  static std::string folder = [] {
    char tmpl[] = "/tmp/nbbench.XXXXXX";
    std::string f = mkdtemp(tmpl);
    setenv("NB_PREFIX", f.c_str(), 1);
    setenv("NB_UI", "headless", 1);
    return f;
  }();
  return folder;
}

inline FieldDesc Field(const char* name, uint8_t type, uint16_t width, uint8_t decimals = 0) {
  FieldDesc f;
  f.SetName(name);
  f.type = type;
  f.width = width;
  f.decimals = decimals;
  return f;
}

inline std::vector<FieldDesc> Schema() {
  return {Field("T1", FieldType::Text, 20),      Field("T2", FieldType::Text, 20),
          Field("T3", FieldType::Text, 20),      Field("T4", FieldType::Text, 40),
          Field("T5", FieldType::Text, 60),      Field("N1", FieldType::Number, 9),
          Field("N2", FieldType::Number, 9),     Field("N3", FieldType::Number, 9),
          Field("B1", FieldType::Number, 12),    Field("B2", FieldType::Number, 15),
          Field("F1", FieldType::Number, 10, 2), Field("F2", FieldType::Number, 12, 4),
          Field("L1", FieldType::Logical, 1),    Field("L2", FieldType::Logical, 1),
          Field("D1", FieldType::Date, 8),       Field("D2", FieldType::Date, 8),
          Field("A1", FieldType::Time, 8),       Field("A2", FieldType::Time, 8),
          Field("S1", FieldType::TimeStamp, 19), Field("MEMO", FieldType::Text, 2000)};
}

inline std::vector<FieldValue> Row(int i) {
  return {FieldValue::Text("first " + std::to_string(i)),
          FieldValue::Text("second"),
          FieldValue::Text("third text"),
          FieldValue::Text("a longer text of forty characters......"),
          FieldValue::Text("an address line, 123 Main Street, Springfield"),
          FieldValue::Int32(i),
          FieldValue::Int32(-i),
          FieldValue::Int32(i % 1000),
          FieldValue::Int64(int64_t(i) * 1000003),
          FieldValue::Int64(-int64_t(i) * 7),
          FieldValue::Double(i * 0.25),
          FieldValue::Double(i / 3.0),
          FieldValue::Logical(i % 2),
          FieldValue::Logical(i % 3 == 0),
          FieldValue::Date(20240101 + i % 28),
          FieldValue::Date(19991231),
          FieldValue::Time((i % 24) * 10000 + (i % 60) * 100 + i % 60),
          FieldValue::Time(120000),
          FieldValue::TimeStamp(PackTimeStamp(2024, 2, 29, 15, 26, 11)),
          FieldValue::Text("Memo text for record " + std::to_string(i) +
                           ": roof, siding, foundation and the rest of the improvements.")};
}

inline void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

inline double PeakRssMb() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  return 0;
}

}  // namespace nb::bench
