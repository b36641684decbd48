// The dBASE table layout: the 32-byte file header, the 32-byte field descriptors with our
// type marker, and how a field of the desktop-database interface maps to a file column
// and back. Pure functions over bytes; no file access here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "nbddb/field.h"

namespace dbase {

inline constexpr size_t kHeaderSize = 32;
inline constexpr size_t kDescriptorSize = 32;
inline constexpr uint8_t kVersion = 0x03;
inline constexpr uint8_t kMemoVersionBits = 0x88;  // table with a memo file
inline constexpr uint8_t kMemoEntryBit = 0x08;     // memo entries carry FF FF 08 00 headers
inline constexpr uint8_t kHeaderEnd = 0x0D;
// Language driver byte: the code page of the table's text. Ours is Windows-1252.
inline constexpr uint8_t kLanguageWindows1252 = 0x57;
inline constexpr uint8_t kFileEnd = 0x1A;
inline constexpr char kLiveFlag = ' ';
inline constexpr char kDeletedFlag = '*';
inline constexpr uint32_t kMarkerBase = 0x4E424D00;
inline constexpr uint8_t kNoMarker = 255;
inline constexpr size_t kMaxNumberWidth = 19;
inline constexpr size_t kMemoFieldWidth = 10;
inline constexpr uint16_t kFirstMemoWidth = 254;   // Text this wide or wider goes to the memo file
inline constexpr uint16_t kReadMemoWidth = 32767;  // width a memo column reads back as

struct Header {
  uint8_t version = kVersion;
  uint8_t year = 0;  // year - 1900
  uint8_t month = 0;
  uint8_t day = 0;
  uint32_t record_count = 0;
  uint16_t header_length = 0;
  uint16_t record_length = 0;
  uint8_t language = kLanguageWindows1252;  // kept as read for tables made elsewhere
};

void EncodeHeader(const Header& header, uint8_t out[kHeaderSize]);
Header DecodeHeader(const uint8_t in[kHeaderSize]);

// Header length for a table of n fields: descriptors plus the terminator.
constexpr size_t HeaderLength(size_t fields) { return kHeaderSize * fields + kHeaderSize + 1; }

// One column as the file describes it.
struct Column {
  std::string name;  // at most 11 bytes
  char letter = 'C';
  uint8_t length = 0;
  uint8_t decimals = 0;
  uint8_t marker = kNoMarker;  // field-type code from the marker, kNoMarker when absent
};

void EncodeColumn(const Column& column, uint8_t out[kDescriptorSize]);
Column DecodeColumn(const uint8_t in[kDescriptorSize]);

// True for field types this format can store.
bool IsKnownType(uint8_t type);
// Bytes a field takes inside a record.
size_t RecordWidth(const FieldDesc& field);
// True when the field's values live in the memo file.
bool UsesMemo(const FieldDesc& field);
// The column a field is written as (only for known types).
Column ColumnFor(const FieldDesc& field);
// The field a column reads back as.
FieldDesc FieldFor(const Column& column);

}  // namespace dbase
