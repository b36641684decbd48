#include <cmath>
#include <cstdio>
#include <limits>

#include "dao/dao.h"

namespace dao {

Value Value::Text(std::string text) {
  Value v;
  v.kind_ = Kind::Text;
  v.text_ = std::move(text);
  return v;
}

Value Value::Number(double number) {
  Value v;
  v.kind_ = Kind::Number;
  v.number_ = number;
  return v;
}

Value Value::Logical(bool value) {
  Value v;
  v.kind_ = Kind::Logical;
  v.number_ = value ? 1 : 0;
  return v;
}

Value Value::Date(int32_t yyyymmdd) {
  Value v;
  v.kind_ = Kind::Date;
  v.number_ = yyyymmdd;
  return v;
}

Value Value::Time(int32_t hhmmss) {
  Value v;
  v.kind_ = Kind::Time;
  v.number_ = hhmmss;
  return v;
}

namespace {

// The shortest text that reads back as the same double.
std::string ShortestDecimal(double d) {
  if (d == 0) return "0";
  char buf[40];
  for (int precision = 1; precision <= 17; ++precision) {
    std::snprintf(buf, sizeof buf, "%.*g", precision, d);
    if (std::strtod(buf, nullptr) == d) break;
  }
  std::string s = buf;
  // Plain decimal, never an exponent.
  if (s.find('e') != std::string::npos) {
    std::snprintf(buf, sizeof buf, "%.17f", d);
    s = buf;
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
  }
  return s;
}

}  // namespace

std::string Value::ToText() const {
  char buf[32];
  int n = int(number_);
  switch (kind_) {
    case Kind::Null:
      return "";
    case Kind::Text:
      return text_;
    case Kind::Number:
      return ShortestDecimal(number_);
    case Kind::Logical:
      return number_ != 0 ? "True" : "False";
    case Kind::Date:
      std::snprintf(buf, sizeof buf, "%d/%d/%d", n / 100 % 100, n % 100, n / 10000);
      return buf;
    case Kind::Time: {
      int h = n / 10000 % 24, m = n / 100 % 100, s = n % 100;
      std::snprintf(buf, sizeof buf, "%d:%02d:%02d %s", h % 12 == 0 ? 12 : h % 12, m, s,
                    h < 12 ? "AM" : "PM");
      return buf;
    }
  }
  return "";
}

int32_t Value::ToInt() const {
  if (kind_ != Kind::Number) throw Error("the value \"" + ToText() + "\" is not a number");
  double r = std::round(number_);
  if (!(r >= std::numeric_limits<int32_t>::min() && r <= std::numeric_limits<int32_t>::max()))
    throw Error("the number " + ToText() + " is out of range");
  return int32_t(r);
}

int Field::Size() const {
  switch (type) {
    case Type::Text:
      return width;
    case Type::Memo:
    case Type::Binary:
      return 0;
    case Type::Logical:
      return 1;
    default:
      return 8;
  }
}

}  // namespace dao
