#include "export/conversions.h"

#include <algorithm>
#include <cstdlib>

namespace valtrix {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

// A text is false only when it says so; a check box field of another kind still exports.
bool TextIsFalse(const std::string& text) {
  std::string t = Lower(text);
  while (!t.empty() && t.back() == ' ') t.pop_back();
  return t == "false" || t == "no" || t == "0";
}

// Zero for a text that holds a number (or nothing); a number field read as text.
bool TextIsZero(const std::string& text) {
  size_t b = text.find_first_not_of(' ');
  if (b == std::string::npos) return true;
  const char* start = text.c_str() + b;
  char* end = nullptr;
  double d = std::strtod(start, &end);
  if (end == start) return false;
  while (*end == ' ') ++end;
  return *end == '\0' && d == 0;
}

}  // namespace

std::string CheckValue(const dao::Value& value) {
  switch (value.kind()) {
    case dao::Value::Kind::Null:
      return "X";
    case dao::Value::Kind::Logical:
      return value.logical() ? "X" : "";
    case dao::Value::Kind::Text:
      return TextIsFalse(value.text()) ? "" : "X";
    default:
      return value.number() == 0 ? "" : "X";
  }
}

std::string TextValue(const dao::Value& value) {
  std::string text = value.ToText();
  std::replace(text.begin(), text.end(), '\n', '|');
  return text;
}

std::string NumberValue(const dao::Value& value) {
  switch (value.kind()) {
    case dao::Value::Kind::Null:
      return "";
    case dao::Value::Kind::Text:
      return TextIsZero(value.text()) ? "" : TextValue(value);
    default:
      return value.number() == 0 ? "" : value.ToText();
  }
}

std::string BathValue(const dao::Value& full, const dao::Value& half) {
  std::string out;
  std::string f = NumberValue(full);
  if (!f.empty()) out += f + "F";
  std::string h = NumberValue(half);
  if (!h.empty()) out += h + "H";
  return out;
}

}  // namespace valtrix
