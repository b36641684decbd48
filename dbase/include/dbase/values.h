// Field values as dBASE text: formatting a value into its bytes of a record and parsing
// a field's bytes back into a value. Memo fields hold a block number here; the memo data
// itself is the memo file's business (memo.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "nbddb/field.h"

namespace dbase {

// Writes exactly `width` bytes (the column's length) for a field that is not kept in the
// memo file. Numbers are right-aligned, the rest left-aligned and blank-padded. A value
// too wide for its column is written as asterisks (numbers) or blanks (dates, times) so
// that the record keeps its layout.
void FormatValue(const FieldDesc& field, const FieldValue& value, char* out, size_t width);

// The 10 bytes of a memo field: the block number zero-padded, or blanks for block 0.
void FormatMemoBlock(uint32_t block, char* out);

// What a memo field writes to the memo file for value: a text's characters (one zero byte
// for a null text), a binary value's bytes. Size 0 means no entry is written.
struct MemoPayload {
  const void* data = nullptr;
  size_t size = 0;
};
MemoPayload MemoPayloadFor(const FieldDesc& field, const FieldValue& value);

// A field's stored text as a value of its type. Nothing for a type this format does not
// know. All blanks (or no bytes) give null, except for Text (empty text), Logical (false)
// and Binary (the bytes).
std::optional<FieldValue> ParseValue(const char* raw, size_t length, uint8_t type,
                                     uint8_t decimals);
// ParseValue into *out, reusing its text storage; false (and *out untouched) for a type
// this format does not know.
bool ParseValueInto(const char* raw, size_t length, uint8_t type, uint8_t decimals,
                    FieldValue* out);

// The block number a memo field holds; 0 for blanks or anything that is not a number.
uint32_t ParseMemoBlock(const char* raw, size_t length);

}  // namespace dbase
