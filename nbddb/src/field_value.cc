#include <algorithm>
#include <cstring>

#include "nbddb/field.h"

void FieldDesc::SetName(std::string_view text) {
  std::memset(name, 0, sizeof name);
  std::memcpy(name, text.data(), std::min(text.size(), sizeof name - 1));
}

namespace {

char* DupText(const char* text, size_t size) {
  char* copy = new char[size + 1];
  if (size) std::memcpy(copy, text, size);
  copy[size] = '\0';
  return copy;
}

}  // namespace

FieldValue::FieldValue(const FieldValue& other) { CopyFrom(other); }

FieldValue& FieldValue::operator=(const FieldValue& other) {
  if (this != &other) {
    FieldValue copy(other);
    *this = std::move(copy);
  }
  return *this;
}

FieldValue::FieldValue(FieldValue&& other) noexcept
    : tag_(other.tag_), length_(other.length_), v_(other.v_) {
  other.tag_ = FieldTag::Unset;
  other.length_ = 0;
  other.v_.i64 = 0;
}

FieldValue& FieldValue::operator=(FieldValue&& other) noexcept {
  if (this != &other) {
    Release();
    tag_ = other.tag_;
    length_ = other.length_;
    v_ = other.v_;
    other.tag_ = FieldTag::Unset;
    other.length_ = 0;
    other.v_.i64 = 0;
  }
  return *this;
}

FieldValue::~FieldValue() { Release(); }

void FieldValue::Release() {
  if (tag_ == FieldTag::Text) delete[] v_.text;
  if (tag_ == FieldTag::Binary) delete[] v_.bytes;
  tag_ = FieldTag::Unset;
  length_ = 0;
  v_.i64 = 0;
}

// A copied text loses its trailing blanks; binary bytes are duplicated.
void FieldValue::CopyFrom(const FieldValue& other) {
  tag_ = other.tag_;
  if (other.tag_ == FieldTag::Text) {
    size_t size = other.length_;
    while (size > 0 && other.v_.text[size - 1] == ' ') --size;
    v_.text = DupText(other.v_.text, size);
    length_ = uint32_t(size);
  } else if (other.tag_ == FieldTag::Binary) {
    length_ = other.length_;
    v_.bytes = nullptr;
    if (other.length_ && other.v_.bytes) {
      v_.bytes = new uint8_t[other.length_];
      std::memcpy(v_.bytes, other.v_.bytes, other.length_);
    }
  } else {
    length_ = other.length_;
    v_ = other.v_;
  }
}

FieldValue FieldValue::Null() {
  FieldValue v;
  v.tag_ = FieldTag::Null;
  return v;
}

FieldValue FieldValue::Text(std::string_view text) {
  FieldValue v;
  v.v_.text = DupText(text.data(), text.size());
  v.tag_ = FieldTag::Text;
  v.length_ = uint32_t(text.size());
  return v;
}

void FieldValue::AssignText(std::string_view text) {
  // The characters hold length_ + 1 bytes however the text was made.
  if (tag_ == FieldTag::Text && v_.text && text.size() <= length_) {
    std::memmove(v_.text, text.data(), text.size());
    v_.text[text.size()] = '\0';
    length_ = uint32_t(text.size());
    return;
  }
  *this = Text(text);
}

FieldValue FieldValue::Int32(int32_t value) {
  FieldValue v;
  v.tag_ = FieldTag::Int32;
  v.length_ = 4;
  v.v_.i32 = value;
  return v;
}

FieldValue FieldValue::Int64(int64_t value) {
  FieldValue v;
  v.tag_ = FieldTag::Int64;
  v.length_ = 8;
  v.v_.i64 = value;
  return v;
}

FieldValue FieldValue::Double(double value) {
  FieldValue v;
  v.tag_ = FieldTag::Double;
  v.length_ = 8;
  v.v_.d = value;
  return v;
}

FieldValue FieldValue::Logical(bool value) {
  FieldValue v;
  v.tag_ = FieldTag::Logical;
  v.length_ = 1;
  v.v_.b = value ? 1 : 0;
  return v;
}

FieldValue FieldValue::Date(int32_t yyyymmdd) {
  FieldValue v;
  v.tag_ = FieldTag::Date;
  v.length_ = 4;
  v.v_.i32 = yyyymmdd;
  return v;
}

FieldValue FieldValue::Time(int32_t hhmmss) {
  FieldValue v;
  v.tag_ = FieldTag::Time;
  v.length_ = 4;
  v.v_.i32 = hhmmss;
  return v;
}

FieldValue FieldValue::TimeStamp(int64_t packed) {
  FieldValue v;
  v.tag_ = FieldTag::TimeStamp;
  v.length_ = 8;
  v.v_.i64 = packed;
  return v;
}

FieldValue FieldValue::Binary(const void* data, size_t size) {
  FieldValue v;
  v.tag_ = FieldTag::Binary;
  v.v_.bytes = nullptr;
  if (size && data) {
    v.v_.bytes = new uint8_t[size];
    std::memcpy(v.v_.bytes, data, size);
    v.length_ = uint32_t(size);
  }
  return v;
}

void FieldValue::set_length(uint32_t length) {
  if (tag_ != FieldTag::Text && tag_ != FieldTag::Binary) length_ = length;
}

const char* FieldValue::text() const { return tag_ == FieldTag::Text ? v_.text : ""; }

std::string_view FieldValue::text_view() const {
  return tag_ == FieldTag::Text ? std::string_view(v_.text, length_) : std::string_view();
}

const uint8_t* FieldValue::bytes() const { return tag_ == FieldTag::Binary ? v_.bytes : nullptr; }

int64_t FieldValue::AsInt64() const {
  switch (tag_) {
    case FieldTag::Int32:
    case FieldTag::Date:
    case FieldTag::Time:
      return v_.i32;
    case FieldTag::Int64:
    case FieldTag::TimeStamp:
      return v_.i64;
    case FieldTag::Double: {
      // Out-of-range doubles would make the conversion undefined.
      if (!(v_.d > -9.2e18 && v_.d < 9.2e18)) return 0;
      return static_cast<int64_t>(v_.d);
    }
    case FieldTag::Logical:
      return v_.b ? 1 : 0;
    default:
      return 0;
  }
}

double FieldValue::AsDouble() const {
  return tag_ == FieldTag::Double ? v_.d : static_cast<double>(AsInt64());
}

bool FieldValue::operator==(const FieldValue& other) const {
  if (tag_ != other.tag_ || length_ != other.length_) return false;
  switch (tag_) {
    case FieldTag::Text:
      return std::memcmp(v_.text, other.v_.text, length_) == 0;
    case FieldTag::Binary:
      return length_ == 0 || std::memcmp(v_.bytes, other.v_.bytes, length_) == 0;
    case FieldTag::Int32:
    case FieldTag::Date:
    case FieldTag::Time:
      return v_.i32 == other.v_.i32;
    case FieldTag::Int64:
    case FieldTag::TimeStamp:
      return v_.i64 == other.v_.i64;
    case FieldTag::Double:
      return v_.d == other.v_.d;
    case FieldTag::Logical:
      return v_.b == other.v_.b;
    default:
      return true;
  }
}
