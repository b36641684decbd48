#include "convert.h"

#include <strings.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/timeofday.h"

namespace dao {

namespace {

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

[[noreturn]] void Refuse(const Field& field, const Value& value, const std::string& what) {
  throw Error("the field " + field.name + " cannot take the value \"" + value.ToText() + "\" (" +
              what + ")");
}

bool ParseNumber(const std::string& text, double* out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  double d = std::strtod(text.c_str(), &end);
  if (errno == ERANGE || end != text.c_str() + text.size() || !std::isfinite(d)) return false;
  // strtod also takes hexadecimal and "inf"; the driver takes plain decimals only.
  for (char c : text)
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' ||
          c == 'e' || c == 'E'))
      return false;
  *out = d;
  return true;
}

bool ValidDate(int y, int m, int d) {
  static const int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > days[m - 1]) return false;
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m != 2 || d <= 28 || leap;
}

// M/D/YYYY (the short date form the program writes), YYYYMMDD or YYYY-MM-DD.
bool ParseDate(const std::string& text, int32_t* out) {
  int y = 0, m = 0, d = 0, n = 0;
  if (std::sscanf(text.c_str(), "%d/%d/%d%n", &m, &d, &y, &n) == 3 && size_t(n) == text.size()) {
  } else if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &y, &m, &d, &n) == 3 &&
             size_t(n) == text.size()) {
  } else if (text.size() == 8 && text.find_first_not_of("0123456789") == std::string::npos) {
    int v = std::atoi(text.c_str());
    y = v / 10000, m = v / 100 % 100, d = v % 100;
  } else {
    return false;
  }
  if (!ValidDate(y, m, d)) return false;
  *out = y * 10000 + m * 100 + d;
  return true;
}

bool ParseLogical(const std::string& text, bool* out) {
  static const char* const yes[] = {"true", "yes", "on", "t", "y", "-1", "1"};
  static const char* const no[] = {"false", "no", "off", "f", "n", "0"};
  for (const char* w : yes)
    if (!strcasecmp(text.c_str(), w)) return *out = true, true;
  for (const char* w : no)
    if (!strcasecmp(text.c_str(), w)) return *out = false, true;
  return false;
}

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string TrimRight(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

}  // namespace

Value ToFieldKind(const Field& field, const Value& value) {
  using K = Value::Kind;
  using T = Field::Type;
  if (value.is_null()) return value;
  switch (field.type) {
    case T::Text:
    case T::Memo:
    case T::Binary: {
      std::string text = value.ToText();
      if (field.type == T::Text && int(text.size()) > field.width)
        Refuse(field, value,
               "longer than the field's " + std::to_string(field.width) + " characters");
      return Value::Text(text);
    }
    case T::Number:
    case T::TimeStamp: {
      if (value.kind() == K::Number) return value;
      if (value.kind() == K::Logical) return Value::Number(value.logical() ? -1 : 0);
      std::string text = Trim(value.ToText());
      if (text.empty()) return Value();
      double d;
      if (value.kind() != K::Text || !ParseNumber(text, &d)) Refuse(field, value, "not a number");
      return Value::Number(d);
    }
    case T::Logical: {
      if (value.kind() == K::Logical) return value;
      if (value.kind() == K::Number) return Value::Logical(value.number() != 0);
      std::string text = Trim(value.ToText());
      if (text.empty()) return Value();
      bool b;
      if (value.kind() != K::Text || !ParseLogical(text, &b)) Refuse(field, value, "not yes or no");
      return Value::Logical(b);
    }
    case T::Date: {
      if (value.kind() == K::Date) return value;
      std::string text = Trim(value.ToText());
      if (text.empty()) return Value();
      int32_t date;
      if (value.kind() != K::Text || !ParseDate(text, &date)) Refuse(field, value, "not a date");
      return Value::Date(date);
    }
    case T::Time: {
      if (value.kind() == K::Time) return value;
      std::string text = Trim(value.ToText());
      if (text.empty()) return Value();
      std::optional<int32_t> hhmmss;
      if (value.kind() == K::Text) hhmmss = nb::ParseTimeOfDay(text);
      if (!hhmmss) Refuse(field, value, "not a time of day");
      return Value::Time(*hhmmss);
    }
  }
  return value;
}

bool Matches(const Field& field, const Value& stored, const Value& wanted) {
  if (stored.is_null() || wanted.is_null()) return false;
  Value w;
  try {
    w = ToFieldKind(Field{field.name, field.type, 1 << 30, field.decimals}, wanted);
  } catch (const Error&) {
    return false;
  }
  if (w.is_null()) return false;
  if (stored.kind() == Value::Kind::Text)
    return Lower(TrimRight(stored.text())) == Lower(TrimRight(w.ToText()));
  return stored.kind() == w.kind() && stored.number() == w.number();
}

}  // namespace dao
