#include "dbase/values.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "dbase/format.h"
#include "platform/timeofday.h"

namespace dbase {
namespace {

// snprintf into a scratch buffer, then exactly `width` bytes into out; text longer than
// the column is replaced by `overflow` characters.
template <typename... Args>
void Put(char* out, size_t width, char overflow, const char* format, Args... args) {
  char text[512];
  int n = std::snprintf(text, sizeof text, format, args...);
  if (n < 0 || size_t(n) > width) {
    std::memset(out, overflow, width);
    return;
  }
  std::memcpy(out, text, size_t(n));
  std::memset(out + n, ' ', width - size_t(n));
}

void Blanks(char* out, size_t width) { std::memset(out, ' ', width); }

// A field's text up to its first NUL, as the C parsers saw it.
std::string_view Terminated(const char* raw, size_t length) {
  const char* end = static_cast<const char*>(std::memchr(raw, 0, length));
  return std::string_view(raw, end ? size_t(end - raw) : length);
}

// The leading number of a text as strtol/strtoll read it: blanks skipped, an optional
// sign, the digits that follow; 0 without digits, clamped on overflow. Locale-free.
bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int64_t LeadingInteger(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  uint64_t magnitude = 0;
  const uint64_t limit = uint64_t(INT64_MAX) + negative;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const unsigned digit = unsigned(text[i] - '0');
    if (magnitude > (limit - digit) / 10) return negative ? INT64_MIN : INT64_MAX;
    magnitude = magnitude * 10 + digit;
  }
  return negative ? int64_t(0 - magnitude) : int64_t(magnitude);
}

// The leading decimal number of a text as strtod reads it (blanks, sign, digits, point,
// exponent); 0 without one. Locale-free.
double LeadingDouble(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  if (i < text.size() && text[i] == '+') ++i;
  double value = 0;
  auto [end, ec] = std::from_chars(text.data() + i, text.data() + text.size(), value);
  if (ec == std::errc::invalid_argument) return 0;
  return value;
}

bool AllBlank(const char* raw, size_t length) {
  for (size_t i = 0; i < length; ++i)
    if (raw[i] != ' ') return false;
  return true;
}

// Asterisks (and blanks) up to the first NUL: a number too wide for its column.
bool Overflowed(const char* raw, size_t length) {
  bool star = false;
  for (size_t i = 0; i < length && raw[i]; ++i) {
    if (raw[i] == '*') {
      star = true;
    } else if (raw[i] != ' ') {
      return false;
    }
  }
  return star;
}

// HH:MM:SS in digits, the form the store writes: the same in every locale.
std::optional<int32_t> PlainTime(const char* raw, size_t length) {
  auto digit = [raw](size_t i) { return raw[i] >= '0' && raw[i] <= '9'; };
  if (length != 8 || raw[2] != ':' || raw[5] != ':') return std::nullopt;
  for (size_t i : {0, 1, 3, 4, 6, 7})
    if (!digit(i)) return std::nullopt;
  auto two = [raw](size_t i) { return (raw[i] - '0') * 10 + (raw[i + 1] - '0'); };
  const int h = two(0), m = two(3), sec = two(6);
  if (h > 23 || m > 59 || sec > 59) return std::nullopt;
  return h * 10000 + m * 100 + sec;
}

}  // namespace

void FormatValue(const FieldDesc& field, const FieldValue& value, char* out, size_t width) {
  if (width == 0) return;
  const bool null = value.is_null();
  const int w = int(width);
  switch (field.type) {
    case FieldType::Text: {
      // Text stops at its first NUL, like the C string it is.
      std::string_view text = null ? std::string_view(" ") : value.text_view();
      const size_t cut = std::min(text.size(), strnlen(text.data(), text.size()));
      const size_t n = std::min({cut, width, size_t(253)});
      std::memcpy(out, text.data(), n);
      Blanks(out + n, width - n);
      break;
    }
    case FieldType::Number:
      if (null) {
        Blanks(out, width);
      } else if (field.decimals > 0) {
        Put(out, width, '*', "%*.*f", w, int(field.decimals), value.AsDouble());
      } else if (field.width < 10) {
        Put(out, width, '*', "%*ld", w, long(int32_t(value.AsInt64())));
      } else {
        Put(out, width, '*', "%*" PRId64, w, value.AsInt64());
      }
      break;
    case FieldType::TimeStamp:
      if (null) {
        Blanks(out, width);
      } else {
        Put(out, width, '*', "%*" PRId64, w, value.AsInt64());
      }
      break;
    case FieldType::Logical:
      out[0] = value.AsInt64() != 0 ? 'T' : 'F';
      Blanks(out + 1, width - 1);
      break;
    case FieldType::Date:
      if (null) {
        Blanks(out, width);
      } else {
        int64_t date = value.AsInt64();
        if (date < 0 || date > 99999999) {
          Blanks(out, width);
        } else {
          Put(out, width, ' ', "%*.*d", 8, 8, int(date));
        }
      }
      break;
    case FieldType::Time:
      if (null) {
        Blanks(out, width);
      } else {
        int64_t t = value.AsInt64();
        if (t < 0 || t > 999999) {
          Blanks(out, width);
        } else {
          int v = int(t);
          Put(out, width, ' ', "%2.2d:%2.2d:%2.2d", v / 10000, (v / 100) % 100, v % 100);
        }
      }
      break;
    default:
      Blanks(out, width);
      break;
  }
}

void FormatMemoBlock(uint32_t block, char* out) {
  if (block == 0) {
    Blanks(out, kMemoFieldWidth);
    return;
  }
  char text[16];
  std::snprintf(text, sizeof text, "%0*u", int(kMemoFieldWidth), block);
  std::memcpy(out, text, kMemoFieldWidth);
}

MemoPayload MemoPayloadFor(const FieldDesc& field, const FieldValue& value) {
  static const char kZero = 0;
  if (field.type == FieldType::Binary) {
    if (value.tag() == FieldTag::Binary && value.bytes()) return {value.bytes(), value.length()};
    return {};
  }
  if (value.is_null()) return {&kZero, 1};
  std::string_view text = value.text_view();
  return {text.data(), text.size()};
}

namespace {

// A Text column's value: up to the first NUL, carriage returns removed, trailing blanks
// trimmed.
void ParseText(const char* raw, size_t length, FieldValue* out) {
  std::string_view text = Terminated(raw, length);
  if (text.find('\r') == std::string_view::npos) {
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    out->AssignText(text);
    return;
  }
  std::string kept(text);
  std::erase(kept, '\r');
  while (!kept.empty() && kept.back() == ' ') kept.pop_back();
  out->AssignText(kept);
}

// Every other known type's value.
FieldValue ParseScalar(const char* raw, size_t length, uint8_t type, uint8_t decimals) {
  const bool blank = length == 0 || AllBlank(raw, length);
  // The number parsers stop at a NUL as at any other character that ends a number.
  const std::string_view text(raw, length);
  switch (type) {
    case FieldType::Number:
      if (blank || Overflowed(raw, length)) return FieldValue::Null();
      if (decimals > 0) return FieldValue::Double(LeadingDouble(text));
      if (length > 9) return FieldValue::Int64(LeadingInteger(text));
      return FieldValue::Int32(int32_t(LeadingInteger(text)));
    case FieldType::Logical:
      return FieldValue::Logical(length > 0 && raw[0] == 'T');
    case FieldType::Date:
      if (blank) return FieldValue::Null();
      return FieldValue::Date(int32_t(LeadingInteger(text.substr(0, 8))));
    case FieldType::Time: {
      if (blank) return FieldValue::Null();
      std::optional<int32_t> t = PlainTime(raw, length);
      if (!t) t = nb::ParseTimeOfDay(Terminated(raw, length));
      return t ? FieldValue::Time(*t) : FieldValue::Null();
    }
    case FieldType::Binary:
      return FieldValue::Binary(raw, length);
    default:  // TimeStamp
      if (blank || Overflowed(raw, length)) return FieldValue::Null();
      return FieldValue::TimeStamp(LeadingInteger(text));
  }
}

}  // namespace

bool ParseValueInto(const char* raw, size_t length, uint8_t type, uint8_t decimals,
                    FieldValue* out) {
  if (type == FieldType::Text) {
    if (length == 0 || raw[0] == 0) {
      *out = FieldValue::Null();
    } else {
      ParseText(raw, length, out);
    }
    return true;
  }
  if (type > FieldType::TimeStamp) return false;
  *out = ParseScalar(raw, length, type, decimals);
  return true;
}

std::optional<FieldValue> ParseValue(const char* raw, size_t length, uint8_t type,
                                     uint8_t decimals) {
  FieldValue value;
  if (!ParseValueInto(raw, length, type, decimals, &value)) return std::nullopt;
  return value;
}

uint32_t ParseMemoBlock(const char* raw, size_t length) {
  const int64_t block = LeadingInteger(std::string_view(raw, length));
  if (block <= 0 || block > UINT32_MAX) return 0;
  return uint32_t(block);
}

}  // namespace dbase
