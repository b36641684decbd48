#include "dbase/format.h"

#include <algorithm>
#include <cstring>

namespace dbase {
namespace {

uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void Set16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void Set32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

}  // namespace

void EncodeHeader(const Header& header, uint8_t out[kHeaderSize]) {
  std::memset(out, 0, kHeaderSize);
  out[0] = header.version;
  out[1] = header.year;
  out[2] = header.month;
  out[3] = header.day;
  Set32(out + 4, header.record_count);
  Set16(out + 8, header.header_length);
  Set16(out + 10, header.record_length);
  out[29] = header.language;
}

Header DecodeHeader(const uint8_t in[kHeaderSize]) {
  Header h;
  h.version = in[0];
  h.year = in[1];
  h.month = in[2];
  h.day = in[3];
  h.record_count = Get32(in + 4);
  h.header_length = Get16(in + 8);
  h.record_length = Get16(in + 10);
  h.language = in[29];
  return h;
}

void EncodeColumn(const Column& column, uint8_t out[kDescriptorSize]) {
  std::memset(out, 0, kDescriptorSize);
  std::memcpy(out, column.name.data(), std::min<size_t>(column.name.size(), 11));
  out[11] = uint8_t(column.letter);
  if (column.marker != kNoMarker) Set32(out + 12, kMarkerBase | column.marker);
  out[16] = column.length;
  out[17] = column.decimals;
}

Column DecodeColumn(const uint8_t in[kDescriptorSize]) {
  Column c;
  const uint8_t* end = static_cast<const uint8_t*>(std::memchr(in, 0, 11));
  c.name.assign(reinterpret_cast<const char*>(in), end ? size_t(end - in) : 11);
  c.letter = char(in[11]);
  const uint32_t marker = Get32(in + 12);
  c.marker = (marker & 0xFFFFFF00u) == kMarkerBase ? uint8_t(marker) : kNoMarker;
  c.length = in[16];
  c.decimals = in[17];
  return c;
}

bool IsKnownType(uint8_t type) { return type <= FieldType::TimeStamp; }

size_t RecordWidth(const FieldDesc& field) {
  switch (field.type) {
    case FieldType::Text:
      return field.width >= kFirstMemoWidth ? kMemoFieldWidth : field.width;
    case FieldType::Binary:
      return kMemoFieldWidth;
    case FieldType::Date:
    case FieldType::Time:
      return 8;
    case FieldType::Number:
    case FieldType::TimeStamp:
      return std::min<size_t>(field.width, kMaxNumberWidth);
    case FieldType::Logical:
      return 1;  // the column is one byte whatever width the field claims
    default:
      return 0;
  }
}

bool UsesMemo(const FieldDesc& field) {
  return field.type == FieldType::Binary ||
         (field.type == FieldType::Text && field.width >= kFirstMemoWidth);
}

Column ColumnFor(const FieldDesc& field) {
  Column c;
  c.name.assign(field.name, strnlen(field.name, sizeof field.name));
  c.length = uint8_t(RecordWidth(field));
  c.marker = field.type;
  switch (field.type) {
    case FieldType::Text:
      c.letter = field.width >= kFirstMemoWidth ? 'M' : 'C';
      break;
    case FieldType::Number:
      c.letter = 'N';
      c.decimals = field.decimals;
      break;
    case FieldType::Logical:
      c.letter = 'L';
      break;
    case FieldType::Date:
      c.letter = 'D';
      break;
    case FieldType::Time:
      c.letter = 'C';
      break;
    case FieldType::Binary:
      c.letter = 'G';
      break;
    case FieldType::TimeStamp:
      c.letter = 'N';
      break;
    default:
      break;
  }
  return c;
}

FieldDesc FieldFor(const Column& column) {
  FieldDesc f;
  f.SetName(column.name);
  f.width = column.length;
  switch (column.letter) {
    case 'C':
      f.type = column.marker == FieldType::Time ? FieldType::Time : FieldType::Text;
      break;
    case 'D':
      f.type = FieldType::Date;
      f.width = 10;
      break;
    case 'G':
      f.type = FieldType::Binary;
      f.width = kReadMemoWidth;
      break;
    case 'L':
      f.type = FieldType::Logical;
      break;
    case 'M':
      f.type = FieldType::Text;
      f.width = kReadMemoWidth;
      break;
    case 'N':
      f.type = column.marker == FieldType::TimeStamp ? FieldType::TimeStamp : FieldType::Number;
      break;
    default:
      f.type = FieldType::Unset;
      break;
  }
  f.decimals = column.decimals;
  return f;
}

}  // namespace dbase
