// The handheld table database file: the table-info block that describes the fields, the
// type letters, and the length-prefixed items that make up a record. All integers are
// big-endian.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "nbddb/field.h"

namespace pdbdevice {

inline constexpr char kTableType[] = "TABL";
inline constexpr char kTableSignature[] = "NBTB";
inline constexpr uint16_t kTableVersion = 0x0210;
inline constexpr size_t kTableInfoFixed = 34;
inline constexpr size_t kFieldEntrySize = 44;
inline constexpr size_t kRecordLimit = 64512;  // 0xFC00
inline constexpr uint16_t kBackupAttribute = 0x0008;
inline constexpr uint8_t kDeletedAttribute = 0x80;
inline constexpr size_t kMaxRecords = 0xFFFF;  // the header's record count is 16 bits
inline constexpr size_t kMaxItemLength = 0xFFFF;

// The letter a field is written with; 0 for a field type the format does not know.
char TypeLetter(const FieldDesc& field);
// The field type a letter is read as; false (and Text) for an unknown letter.
bool FieldTypeFor(char letter, uint8_t* type);

// The table-info block for these fields; letters[i] is written for fields[i].
std::vector<uint8_t> EncodeTableInfo(const std::vector<FieldDesc>& fields,
                                     const std::vector<char>& letters, uint32_t flags);

struct TableSchema {
  std::vector<FieldDesc> fields;
  std::vector<char> letters;  // as found in the file
};

// Reads the field entries of a table-info block; false with the reason when the block
// cannot hold what it claims.
bool DecodeTableInfo(std::span<const uint8_t> block, TableSchema* schema, std::string* why);

// Items. A length below 255 takes one byte; a longer one is 0xFF and two bytes.
void AppendItem(std::vector<uint8_t>& record, const void* data, size_t length);
void AppendEmptyItem(std::vector<uint8_t>& record);
// Binary items always take the long form with a reserved zero byte before the payload.
void AppendBinaryItem(std::vector<uint8_t>& record, const void* data, size_t length);
// A binary value that was left out.
void AppendLeftOutBinary(std::vector<uint8_t>& record);
// Bytes a binary item of this payload takes.
inline size_t BinaryItemSize(size_t payload) { return payload + 4; }

// Reads the next item at *pos; false when it runs past the end of the record.
bool NextItem(std::span<const uint8_t> record, size_t* pos, std::span<const uint8_t>* item);

// The value of one item of a field with this letter. False when the item is too short for
// its letter.
bool DecodeItem(char letter, std::span<const uint8_t> item, FieldValue* value);

// A whole handheld table file: its schema and the values of every record not marked
// deleted, checked before anything is written. False with the reason when the file is
// damaged, a resource database or has no table-info block.
struct DecodedTable {
  TableSchema schema;
  std::vector<std::vector<FieldValue>> records;
};
bool DecodeTableFile(std::span<const uint8_t> file, DecodedTable* table, std::string* why);

}  // namespace pdbdevice
