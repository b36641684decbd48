// A strict reader of handheld table database files written for the tests, independent of
// the plug-in's own code: every field of the layout is checked, not only what a lenient
// reader would use.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace pdbdevice::testing {

inline uint16_t Be16(const std::vector<uint8_t>& b, size_t at) {
  return uint16_t(b.at(at) << 8 | b.at(at + 1));
}
inline uint32_t Be32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(Be16(b, at)) << 16 | Be16(b, at + 2);
}
inline void SetBe16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
  b.at(at) = uint8_t(v >> 8);
  b.at(at + 1) = uint8_t(v);
}
inline void SetBe32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  SetBe16(b, at, uint16_t(v >> 16));
  SetBe16(b, at + 2, uint16_t(v));
}

struct StrictField {
  std::string name;
  uint16_t width;
  char letter;
  uint8_t decimals;
};

struct StrictFile {
  std::string name;
  uint16_t attributes = 0;
  uint32_t created = 0, modified = 0, creator = 0, flags = 0;
  std::vector<StrictField> fields;
  std::vector<std::vector<uint8_t>> records;             // raw bytes
  std::vector<std::vector<std::vector<uint8_t>>> items;  // per record: each item's bytes
  std::vector<size_t> record_offsets;
  size_t app_info = 0;
};

// Splits a record into exactly `count` items that use up all of its bytes.
inline ::testing::AssertionResult SplitItems(const std::vector<uint8_t>& record, size_t count,
                                             std::vector<std::vector<uint8_t>>* items) {
  size_t at = 0;
  for (size_t f = 0; f < count; ++f) {
    if (at >= record.size()) return ::testing::AssertionFailure() << "item " << f << " missing";
    size_t n = record[at++];
    if (n == 0xFF) {
      if (at + 2 > record.size()) return ::testing::AssertionFailure() << "long length cut";
      n = Be16(record, at);
      at += 2;
    }
    if (at + n > record.size()) return ::testing::AssertionFailure() << "item " << f << " too long";
    items->emplace_back(record.begin() + ptrdiff_t(at), record.begin() + ptrdiff_t(at + n));
    at += n;
  }
  if (at != record.size()) return ::testing::AssertionFailure() << "bytes after the last item";
  return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult ParseStrict(const std::vector<uint8_t>& b, StrictFile* out) {
  using ::testing::AssertionFailure;
  if (b.size() < 80) return AssertionFailure() << "shorter than a header";
  size_t name_end = 0;
  while (name_end < 32 && b[name_end]) ++name_end;
  if (name_end == 32) return AssertionFailure() << "name without terminator";
  for (size_t i = name_end; i < 32; ++i)
    if (b[i]) return AssertionFailure() << "name not zero-padded";
  out->name.assign(b.begin(), b.begin() + ptrdiff_t(name_end));
  out->attributes = Be16(b, 32);
  if (Be16(b, 34) != 0) return AssertionFailure() << "version";
  out->created = Be32(b, 36);
  out->modified = Be32(b, 40);
  if (Be32(b, 44) || Be32(b, 48)) return AssertionFailure() << "backup time or mod number";
  if (Be32(b, 56)) return AssertionFailure() << "sort info";
  if (Be32(b, 60) != 0x5441424C) return AssertionFailure() << "type";
  out->creator = Be32(b, 64);
  if (Be32(b, 68) || Be32(b, 72)) return AssertionFailure() << "seed or next list";
  const size_t n = Be16(b, 76);
  const size_t area = 80 + 8 * n;
  if (b.size() < area) return AssertionFailure() << "record list cut";
  if (Be16(b, 78 + 8 * n) != 0) return AssertionFailure() << "two zero bytes";
  out->app_info = Be32(b, 52);
  if (out->app_info != area) return AssertionFailure() << "app info at " << out->app_info;
  if (b.size() < area + 34) return AssertionFailure() << "table info cut";
  if (Be32(b, area) != 0x4E425442 || Be16(b, area + 4) != 0x0210)
    return AssertionFailure() << "table info signature or version";
  for (size_t i :
       {6, 7, 8, 9, 10, 11, 14, 15, 16, 17, 18, 19, 20, 21, 26, 27, 28, 29, 30, 31, 32, 33})
    if (b[area + i]) return AssertionFailure() << "table info byte " << i;
  const size_t f = Be16(b, area + 12);
  out->flags = Be32(b, area + 22);
  const size_t info_end = area + 34 + 44 * f;
  if (b.size() < info_end) return AssertionFailure() << "field entries cut";
  for (size_t i = 0; i < f; ++i) {
    const size_t e = area + 34 + 44 * i;
    StrictField field;
    size_t len = 0;
    while (len < 32 && b[e + len]) ++len;
    field.name.assign(b.begin() + ptrdiff_t(e), b.begin() + ptrdiff_t(e + len));
    field.width = Be16(b, e + 32);
    field.letter = char(b[e + 34]);
    field.decimals = b[e + 35];
    for (size_t k = 36; k < 44; ++k)
      if (b[e + k]) return AssertionFailure() << "field entry byte " << k;
    out->fields.push_back(field);
  }
  size_t expect = info_end;
  for (size_t i = 0; i < n; ++i) {
    const size_t offset = Be32(b, 78 + 8 * i);
    if (offset != expect) return AssertionFailure() << "record " << i << " at " << offset;
    if (b[78 + 8 * i + 4] || b[78 + 8 * i + 5] || Be16(b, 78 + 8 * i + 6))
      return AssertionFailure() << "record " << i << " attributes or id";
    const size_t end = i + 1 < n ? Be32(b, 78 + 8 * (i + 1)) : b.size();
    if (end < offset || end > b.size()) return AssertionFailure() << "record " << i << " end";
    out->record_offsets.push_back(offset);
    out->records.emplace_back(b.begin() + ptrdiff_t(offset), b.begin() + ptrdiff_t(end));
    out->items.emplace_back();
    auto split = SplitItems(out->records.back(), f, &out->items.back());
    if (!split) return split << " in record " << i;
    expect = end;
  }
  if (n == 0 && b.size() != info_end) return AssertionFailure() << "bytes after the table info";
  return ::testing::AssertionSuccess();
}

}  // namespace pdbdevice::testing
