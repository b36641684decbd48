// Field descriptors and values of the desktop-database interface. Both cross plug-in
// boundaries by address, so their layout is part of the interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// Field-type codes: the shared vocabulary of every store and of the handheld file format.
namespace FieldType {
inline constexpr uint8_t Text = 0;
inline constexpr uint8_t Number = 1;
inline constexpr uint8_t Logical = 2;
inline constexpr uint8_t Date = 3;  // integer YYYYMMDD
inline constexpr uint8_t Time = 4;  // integer HHMMSS
inline constexpr uint8_t Binary = 5;
inline constexpr uint8_t TimeStamp = 6;  // packed, see PackTimeStamp
inline constexpr uint8_t Unset = 255;
}  // namespace FieldType

// How a FieldValue holds its value.
namespace FieldTag {
inline constexpr uint8_t Text = 0;    // owned NUL-terminated characters
inline constexpr uint8_t Int32 = 1;   // Number below 10 digits
inline constexpr uint8_t Int64 = 2;   // Number of 10 or more digits
inline constexpr uint8_t Double = 3;  // Number with decimals
inline constexpr uint8_t Logical = 4;
inline constexpr uint8_t Date = 5;
inline constexpr uint8_t Time = 6;
inline constexpr uint8_t TimeStamp = 7;
inline constexpr uint8_t Binary = 8;  // owned bytes
inline constexpr uint8_t Null = 9;
inline constexpr uint8_t Unset = 255;
}  // namespace FieldTag

struct FieldDesc {
  char name[128] = {};  // NUL-terminated, at most 127 significant characters
  uint8_t type = FieldType::Unset;
  uint16_t width = 0;
  uint8_t decimals = 0;
  uint32_t flags = 0;  // bit 0: the handheld field entry's flag; stores ignore it

  // Copies at most 127 characters of name; the rest stays zero.
  void SetName(std::string_view text);
};

// One field's value. Copying trims trailing blanks of a text and duplicates binary
// bytes; moving hands the owned data over unchanged. length() is the character count of
// a text, the byte count of binary data, 0 for null; for dates, times and time stamps a
// length of 0 means "no value" to the handheld-file writer.
class FieldValue {
 public:
  FieldValue() = default;  // tag Unset
  FieldValue(const FieldValue& other);
  FieldValue& operator=(const FieldValue& other);
  FieldValue(FieldValue&& other) noexcept;
  FieldValue& operator=(FieldValue&& other) noexcept;
  ~FieldValue();

  // Factories set the lengths the dBASE reader uses: 4 for Int32, Date and Time; 8 for
  // Int64, Double and TimeStamp; 1 for Logical.
  static FieldValue Null();
  static FieldValue Text(std::string_view text);
  static FieldValue Int32(int32_t value);
  static FieldValue Int64(int64_t value);
  static FieldValue Double(double value);
  static FieldValue Logical(bool value);
  static FieldValue Date(int32_t yyyymmdd);
  static FieldValue Time(int32_t hhmmss);
  static FieldValue TimeStamp(int64_t packed);
  static FieldValue Binary(const void* data, size_t size);

  // Makes this the text value Text(text) would make, reusing the characters this value
  // owns when it is a text at least as long: decoding many records into one record's
  // values then allocates only when a column's text grows.
  void AssignText(std::string_view text);

  uint8_t tag() const { return tag_; }
  uint32_t length() const { return length_; }
  // Only for inline tags (the owned tags keep their counts).
  void set_length(uint32_t length);
  bool is_null() const { return tag_ == FieldTag::Null; }

  // Text of a tag-0 value, "" for any other tag; text_view() has length() characters.
  const char* text() const;
  std::string_view text_view() const;
  // Bytes of a tag-8 value (null for other tags or no bytes).
  const uint8_t* bytes() const;

  // The inline member for its tag; 0 / false when the tag differs.
  int32_t int32() const { return tag_ == FieldTag::Int32 ? v_.i32 : 0; }
  int64_t int64() const { return tag_ == FieldTag::Int64 ? v_.i64 : 0; }
  double dbl() const { return tag_ == FieldTag::Double ? v_.d : 0.0; }
  bool logical() const { return tag_ == FieldTag::Logical && v_.b != 0; }
  int32_t date() const { return tag_ == FieldTag::Date ? v_.i32 : 0; }
  int32_t time() const { return tag_ == FieldTag::Time ? v_.i32 : 0; }
  int64_t timestamp() const { return tag_ == FieldTag::TimeStamp ? v_.i64 : 0; }

  // A number from whichever numeric tag holds it (Int32, Int64, Double, Date, Time,
  // TimeStamp, Logical); 0 for the others. Lets a writer honour the field's layout
  // whatever representation the producer chose.
  int64_t AsInt64() const;
  double AsDouble() const;

  // Same tag, same length and same content.
  bool operator==(const FieldValue& other) const;

 private:
  void Release();
  void CopyFrom(const FieldValue& other);

  uint8_t tag_ = FieldTag::Unset;
  uint32_t length_ = 0;
  union {
    char* text;
    uint8_t* bytes;
    int32_t i32;
    int64_t i64;
    double d;
    uint8_t b;
  } v_{.i64 = 0};
};

// The packed TimeStamp value, from its least significant byte up: second, minute, hour,
// day, month, (year mod 100) + 100, (year / 100) + 100, zero.
constexpr int64_t PackTimeStamp(int year, int month, int day, int hour, int minute, int second) {
  return static_cast<int64_t>(second & 0xFF) | static_cast<int64_t>(minute & 0xFF) << 8 |
         static_cast<int64_t>(hour & 0xFF) << 16 | static_cast<int64_t>(day & 0xFF) << 24 |
         static_cast<int64_t>(month & 0xFF) << 32 |
         static_cast<int64_t>((year % 100 + 100) & 0xFF) << 40 |
         static_cast<int64_t>((year / 100 + 100) & 0xFF) << 48;
}

struct UnpackedTimeStamp {
  int year, month, day, hour, minute, second;
};

constexpr UnpackedTimeStamp UnpackTimeStamp(int64_t packed) {
  auto byte = [packed](int i) { return static_cast<int>((packed >> (8 * i)) & 0xFF); };
  return {100 * byte(6) + byte(5) - 10100, byte(4), byte(3), byte(2), byte(1), byte(0)};
}
