#include "table_format.h"

#include <cstring>

#include "pdbfile/bytes.h"
#include "pdbfile/pdbfile.h"

namespace pdbdevice {

using nb::pdb::FourCC;
using nb::pdb::Get16;
using nb::pdb::Get32;

char TypeLetter(const FieldDesc& field) {
  switch (field.type) {
    case FieldType::Text:
      return 'C';
    case FieldType::Number:
      return field.decimals > 0 ? 'F' : field.width < 10 ? 'N' : 'Q';
    case FieldType::Logical:
      return 'L';
    case FieldType::Date:
      return 'D';
    case FieldType::Time:
      return 'T';
    case FieldType::Binary:
      return 'G';
    case FieldType::TimeStamp:
      return 'S';
    default:
      return 0;
  }
}

bool FieldTypeFor(char letter, uint8_t* type) {
  switch (letter) {
    case 'C':
      *type = FieldType::Text;
      return true;
    case 'F':
    case 'N':
    case 'Q':
      *type = FieldType::Number;
      return true;
    case 'L':
      *type = FieldType::Logical;
      return true;
    case 'D':
      *type = FieldType::Date;
      return true;
    case 'T':
      *type = FieldType::Time;
      return true;
    case 'G':
      *type = FieldType::Binary;
      return true;
    case 'S':
      *type = FieldType::TimeStamp;
      return true;
    default:
      *type = FieldType::Text;
      return false;
  }
}

std::vector<uint8_t> EncodeTableInfo(const std::vector<FieldDesc>& fields,
                                     const std::vector<char>& letters, uint32_t flags) {
  std::vector<uint8_t> block(kTableInfoFixed + kFieldEntrySize * fields.size(), 0);
  nb::pdb::Set32(&block[0], FourCC(kTableSignature));
  nb::pdb::Set16(&block[4], kTableVersion);
  nb::pdb::Set16(&block[12], uint16_t(fields.size()));
  nb::pdb::Set32(&block[22], flags);
  for (size_t i = 0; i < fields.size(); ++i) {
    uint8_t* entry = &block[kTableInfoFixed + kFieldEntrySize * i];
    const FieldDesc& f = fields[i];
    std::memcpy(entry, f.name, strnlen(f.name, 32));
    nb::pdb::Set16(entry + 32, f.width);
    entry[34] = uint8_t(letters[i]);
    entry[35] = f.decimals;
    // entry[36], the field flags, is written as 0.
  }
  return block;
}

bool DecodeTableInfo(std::span<const uint8_t> block, TableSchema* schema, std::string* why) {
  if (block.size() < kTableInfoFixed) {
    *why = "the table-info block is too short";
    return false;
  }
  const size_t count = Get16(&block[12]);
  if (kTableInfoFixed + kFieldEntrySize * count > block.size()) {
    *why = "the field count " + std::to_string(count) + " does not fit the table-info block";
    return false;
  }
  schema->fields.clear();
  schema->letters.clear();
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* entry = &block[kTableInfoFixed + kFieldEntrySize * i];
    FieldDesc f;
    f.SetName(std::string_view(reinterpret_cast<const char*>(entry),
                               strnlen(reinterpret_cast<const char*>(entry), 32)));
    f.width = Get16(entry + 32);
    FieldTypeFor(char(entry[34]), &f.type);
    f.decimals = entry[35];
    f.flags = entry[36] & 1u;
    schema->fields.push_back(f);
    schema->letters.push_back(char(entry[34]));
  }
  return true;
}

void AppendItem(std::vector<uint8_t>& record, const void* data, size_t length) {
  if (length < 255) {
    record.push_back(uint8_t(length));
  } else {
    record.push_back(0xFF);
    nb::pdb::Put16(record, uint16_t(length));
  }
  const auto* p = static_cast<const uint8_t*>(data);
  record.insert(record.end(), p, p + length);
}

void AppendEmptyItem(std::vector<uint8_t>& record) { record.push_back(0); }

void AppendBinaryItem(std::vector<uint8_t>& record, const void* data, size_t length) {
  record.push_back(0xFF);
  nb::pdb::Put16(record, uint16_t(length + 1));
  record.push_back(0);
  const auto* p = static_cast<const uint8_t*>(data);
  record.insert(record.end(), p, p + length);
}

void AppendLeftOutBinary(std::vector<uint8_t>& record) {
  record.insert(record.end(), {0xFF, 0x00, 0x00});
}

bool NextItem(std::span<const uint8_t> record, size_t* pos, std::span<const uint8_t>* item) {
  nb::pdb::Reader in(record, *pos);
  size_t length = in.U8();
  if (length == 0xFF) length = in.U16();
  std::span<const uint8_t> data = in.Bytes(length);
  if (!in.ok()) return false;
  *item = data;
  *pos = in.pos();
  return true;
}

namespace {

int64_t Signed64(const uint8_t* p) { return int64_t(uint64_t(Get32(p)) << 32 | Get32(p + 4)); }

int Digit(uint8_t c) { return c >= '0' && c <= '9' ? c - '0' : 0; }

}  // namespace

bool DecodeItem(char letter, std::span<const uint8_t> item, FieldValue* value) {
  const size_t n = item.size();
  const uint8_t* p = item.data();
  if (letter == 'L') {
    *value = FieldValue::Logical(n > 0 && p[0] == 'T');
    return true;
  }
  if (n == 0) {
    *value = FieldValue::Null();
    return true;
  }
  switch (letter) {
    case 'D': {
      // The leading digits, as atoi reads them.
      size_t i = 0;
      bool negative = false;
      if (p[0] == '-' || p[0] == '+') negative = p[i++] == '-';
      int64_t v = 0;
      for (; i < n && p[i] >= '0' && p[i] <= '9' && v < 100000000; ++i) v = v * 10 + (p[i] - '0');
      *value = FieldValue::Date(int32_t(negative ? -v : v));
      return true;
    }
    case 'T':
      if (n < 8) return false;
      *value =
          FieldValue::Time((Digit(p[0]) * 10 + Digit(p[1])) * 10000 +
                           (Digit(p[3]) * 10 + Digit(p[4])) * 100 + Digit(p[6]) * 10 + Digit(p[7]));
      return true;
    case 'F': {
      if (n < 8) return false;
      const uint64_t bits = uint64_t(Signed64(p));
      double d;
      std::memcpy(&d, &bits, sizeof d);
      *value = FieldValue::Double(d);
      return true;
    }
    case 'N':
      if (n < 4) return false;
      *value = FieldValue::Int32(int32_t(Get32(p)));
      return true;
    case 'Q':
      if (n < 8) return false;
      *value = FieldValue::Int64(Signed64(p));
      return true;
    case 'S':
      if (n < 8) return false;
      *value = FieldValue::TimeStamp(Signed64(p));
      return true;
    case 'G':
      // The first byte is reserved; the payload follows.
      *value = FieldValue::Binary(p + 1, n - 1);
      return true;
    default: {
      // Text, and the field of an unknown letter read as text: up to the terminator.
      *value = FieldValue::Text(std::string_view(reinterpret_cast<const char*>(p),
                                                 strnlen(reinterpret_cast<const char*>(p), n)));
      return true;
    }
  }
}

bool DecodeTableFile(std::span<const uint8_t> file, DecodedTable* table, std::string* why) {
  auto db = nb::pdb::Parse(file, why);
  if (!db) return false;
  if (db->IsResource()) {
    *why = "a resource database, not a table";
    return false;
  }
  if (db->app_info.empty()) {
    *why = "no table-info block";
    return false;
  }
  if (!DecodeTableInfo(db->app_info, &table->schema, why)) return false;
  const std::vector<char>& letters = table->schema.letters;
  for (size_t r = 0; r < db->records.size(); ++r) {
    const nb::pdb::Record& record = db->records[r];
    if (record.attributes & kDeletedAttribute) continue;
    std::vector<FieldValue> values(letters.size());
    size_t pos = 0;
    for (size_t f = 0; f < letters.size(); ++f) {
      std::span<const uint8_t> item;
      if (!NextItem(record.data, &pos, &item)) {
        *why = "field " + std::to_string(f + 1) + " runs past the end of record " +
               std::to_string(r + 1);
        return false;
      }
      if (!DecodeItem(letters[f], item, &values[f])) {
        *why = "field " + std::to_string(f + 1) + " of record " + std::to_string(r + 1) +
               " is too short for its type";
        return false;
      }
    }
    table->records.push_back(std::move(values));
  }
  return true;
}

}  // namespace pdbdevice
