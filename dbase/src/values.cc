#include "dbase/values.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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

// A NUL-terminated copy of a field's bytes for the C number parsers.
std::string Terminated(const char* raw, size_t length) {
  const char* end = static_cast<const char*>(std::memchr(raw, 0, length));
  return std::string(raw, end ? size_t(end - raw) : length);
}

bool AllBlank(const char* raw, size_t length) {
  for (size_t i = 0; i < length; ++i)
    if (raw[i] != ' ') return false;
  return true;
}

bool Overflowed(const std::string& text) {
  return text.find_first_not_of(" *") == std::string::npos && text.find('*') != std::string::npos;
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

std::optional<FieldValue> ParseValue(const char* raw, size_t length, uint8_t type,
                                     uint8_t decimals) {
  const bool blank = length == 0 || AllBlank(raw, length);
  switch (type) {
    case FieldType::Text: {
      if (length == 0 || raw[0] == 0) return FieldValue::Null();
      std::string text = Terminated(raw, length);
      std::erase(text, '\r');
      while (!text.empty() && text.back() == ' ') text.pop_back();
      return FieldValue::Text(text);
    }
    case FieldType::Number: {
      if (blank) return FieldValue::Null();
      std::string text = Terminated(raw, length);
      if (Overflowed(text)) return FieldValue::Null();
      if (decimals > 0) return FieldValue::Double(std::strtod(text.c_str(), nullptr));
      if (length > 9) return FieldValue::Int64(std::strtoll(text.c_str(), nullptr, 10));
      return FieldValue::Int32(int32_t(std::strtol(text.c_str(), nullptr, 10)));
    }
    case FieldType::Logical:
      return FieldValue::Logical(length > 0 && raw[0] == 'T');
    case FieldType::Date:
      if (blank) return FieldValue::Null();
      return FieldValue::Date(
          int32_t(std::strtol(Terminated(raw, std::min<size_t>(length, 8)).c_str(), nullptr, 10)));
    case FieldType::Time: {
      if (blank) return FieldValue::Null();
      std::optional<int32_t> t = nb::ParseTimeOfDay(Terminated(raw, length));
      return t ? FieldValue::Time(*t) : FieldValue::Null();
    }
    case FieldType::Binary:
      return FieldValue::Binary(raw, length);
    case FieldType::TimeStamp: {
      if (blank) return FieldValue::Null();
      std::string text = Terminated(raw, length);
      if (Overflowed(text)) return FieldValue::Null();
      return FieldValue::TimeStamp(std::strtoll(text.c_str(), nullptr, 10));
    }
    default:
      return std::nullopt;
  }
}

uint32_t ParseMemoBlock(const char* raw, size_t length) {
  std::string text = Terminated(raw, length);
  char* end = nullptr;
  long long block = std::strtoll(text.c_str(), &end, 10);
  if (end == text.c_str() || block <= 0 || block > UINT32_MAX) return 0;
  return uint32_t(block);
}

}  // namespace dbase
