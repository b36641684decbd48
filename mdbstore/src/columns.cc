#include "columns.h"

#include <strings.h>

#include <algorithm>
#include <cstdint>
#include <string>

namespace mdbstore {
namespace {

namespace Kind = mdb::data::Kind;
using mdb::data::Column;
using mdb::data::DateTime;
using mdb::data::RowSet;

constexpr uint16_t kMemoWidth = 254;

// Field -> column, first matching rule.
enum class When { Always, NarrowText, MemoText, Decimals, Narrow };
struct ColumnRule {
  uint8_t type;
  When when;
  int kind;
  const char* description;
};
constexpr ColumnRule kColumnRules[] = {
    {FieldType::Text, When::NarrowText, Kind::Text, ""},
    {FieldType::Text, When::MemoText, Kind::LongText, ""},
    {FieldType::Number, When::Decimals, Kind::Double, ""},
    {FieldType::Number, When::Narrow, Kind::Integer, ""},
    {FieldType::Number, When::Always, Kind::Text, "Int64"},
    {FieldType::Logical, When::Always, Kind::Boolean, ""},
    {FieldType::Date, When::Always, Kind::Date, "Date"},
    {FieldType::Time, When::Always, Kind::Date, "Time"},
    {FieldType::Binary, When::Always, Kind::LongBinary, ""},
    {FieldType::TimeStamp, When::Always, Kind::Date, "TimeStamp"},
};

// Column -> field, first matching rule; a null description matches any.
struct FieldRule {
  int kind;
  const char* description;
  uint8_t type;
  int width;  // -1: the column's defined size
  uint8_t decimals;
};
constexpr FieldRule kFieldRules[] = {
    {Kind::Integer, nullptr, FieldType::Number, 9, 0},
    {Kind::Double, nullptr, FieldType::Number, 19, 7},
    {Kind::Date, "Time", FieldType::Time, 11, 0},
    {Kind::Date, "TimeStamp", FieldType::TimeStamp, 19, 0},
    {Kind::Date, nullptr, FieldType::Date, 10, 0},
    {Kind::Boolean, nullptr, FieldType::Logical, 1, 0},
    {Kind::BigInt, nullptr, FieldType::Number, 19, 0},
    {Kind::Text, "Int64", FieldType::Number, 19, 0},
    {Kind::Text, nullptr, FieldType::Text, -1, 0},
    {Kind::LongText, nullptr, FieldType::Text, 32767, 0},
    {Kind::LongBinary, nullptr, FieldType::Binary, 32767, 0},
    // A kind of column this store does not make: its cells read as text.
    {Kind::Other, nullptr, FieldType::Text, 0, 0},
};

bool Matches(When when, const FieldDesc& f) {
  switch (when) {
    case When::NarrowText:
      return f.width < kMemoWidth;
    case When::MemoText:
      return f.width >= kMemoWidth;
    case When::Decimals:
      return f.decimals > 0;
    case When::Narrow:
      return f.width < 10;
    case When::Always:
      return true;
  }
  return false;
}

// Whether a * 10000 + b * 100 + c fits the 32-bit value of a date or a time; another
// program may have stored any number of digits.
bool Packs(int64_t a, int64_t b, int64_t c) {
  const int64_t v = a * 10000 + b * 100 + c;
  return v >= INT32_MIN && v <= INT32_MAX;
}

bool IsWideNumber(const FieldDesc& f) { return f.decimals == 0 && f.width > 9; }

}  // namespace

Column ColumnFor(const FieldDesc& field) {
  Column c;
  c.name = field.name;
  c.kind = Kind::Text;
  c.defined_size = field.width;
  for (const ColumnRule& r : kColumnRules) {
    if (r.type != field.type || !Matches(r.when, field)) continue;
    c.kind = r.kind;
    c.description = r.description;
    break;
  }
  if (c.kind == Kind::Boolean) {
    c.defined_size = 2;
    c.nullable = false;
  }
  return c;
}

FieldDesc FieldFor(const Column& column) {
  FieldDesc f;
  f.SetName(column.name);
  f.type = FieldType::Text;
  for (const FieldRule& r : kFieldRules) {
    if (r.kind != column.kind && r.kind != Kind::Other) continue;
    if (r.description && column.description != r.description) continue;
    f.type = r.type;
    f.width = uint16_t(r.width < 0 ? column.defined_size : r.width);
    f.decimals = r.decimals;
    break;
  }
  return f;
}

bool Holds(const std::vector<Column>& table, const std::vector<Column>& wanted) {
  auto same_name = [](const Column& a, const Column& b) {
    return strcasecmp(a.name.c_str(), b.name.c_str()) == 0;
  };
  for (const Column& w : wanted) {
    auto c =
        std::find_if(table.begin(), table.end(), [&](const Column& t) { return same_name(t, w); });
    if (c == table.end() || c->kind != w.kind || c->description != w.description ||
        c->nullable != w.nullable || (w.kind == Kind::Text && c->defined_size != w.defined_size))
      return false;
  }
  for (const Column& t : table) {
    const bool wanted_one =
        std::any_of(wanted.begin(), wanted.end(), [&](const Column& w) { return same_name(t, w); });
    if (!wanted_one && !t.nullable) return false;
  }
  return true;
}

bool SetCell(RowSet& rows, int i, const FieldDesc& field, const FieldValue& value) {
  const bool null = value.tag() == FieldTag::Null || value.tag() == FieldTag::Unset;
  const bool dated = field.type == FieldType::Date || field.type == FieldType::Time ||
                     field.type == FieldType::TimeStamp;
  if (field.type > FieldType::TimeStamp) return false;
  if (null && field.type == FieldType::Logical) {
    rows.SetInteger(i, 0);
  } else if (null && field.type == FieldType::Binary) {
    rows.SetBytes(i, {});
  } else if (null || (dated && value.length() == 0)) {
    rows.SetNull(i);
  } else {
    const int64_t v = value.AsInt64();
    switch (field.type) {
      case FieldType::Text:
        rows.SetText(i, value.text_view());
        break;
      case FieldType::Number:
        if (field.decimals > 0)
          rows.SetDouble(i, value.AsDouble());
        else if (field.width < 10)
          rows.SetInteger(i, int32_t(v));
        else
          rows.SetText(i, std::to_string(v));
        break;
      case FieldType::Logical:
        rows.SetInteger(i, v != 0);
        break;
      case FieldType::Date:
        rows.SetDateTime(i, {int(v / 10000), int(v / 100 % 100), int(v % 100), 0, 0, 0});
        break;
      case FieldType::Time:
        rows.SetDateTime(i, {1899, 12, 30, int(v / 10000), int(v / 100 % 100), int(v % 100)});
        break;
      case FieldType::TimeStamp: {
        const UnpackedTimeStamp t = UnpackTimeStamp(v);
        rows.SetDateTime(i, {t.year, t.month, t.day, t.hour, t.minute, t.second});
        break;
      }
      case FieldType::Binary:
        rows.SetBytes(i, {reinterpret_cast<const char*>(value.bytes()), value.length()});
        break;
    }
  }
  return true;
}

FieldValue GetCell(RowSet& rows, int i, const FieldDesc& field) {
  const bool null = rows.IsNull(i) || (field.type == FieldType::Number && IsWideNumber(field) &&
                                       rows.GetText(i).empty());
  if (null) {
    if (field.type == FieldType::Binary) return FieldValue::Binary(nullptr, 0);
    if (field.type != FieldType::Logical) return FieldValue::Null();
    FieldValue no = FieldValue::Logical(false);
    no.set_length(0);
    return no;
  }
  DateTime t;
  switch (field.type) {
    case FieldType::Text: {
      std::string_view cell = rows.GetText(i);
      if (field.width > 0 && cell.size() > field.width) cell = cell.substr(0, field.width);
      std::string text;
      if (cell.find('\r') != std::string_view::npos) {
        for (char c : cell)
          if (c != '\r') text += c;
        cell = text;
      }
      while (!cell.empty() && cell.back() == ' ') cell.remove_suffix(1);
      // Blanks are no text, as an empty column is.
      if (cell.empty()) return FieldValue::Null();
      return FieldValue::Text(cell);
    }
    case FieldType::Number:
      if (field.decimals > 0) return FieldValue::Double(rows.GetDouble(i));
      if (IsWideNumber(field)) return FieldValue::Int64(rows.GetInteger(i));
      return FieldValue::Int32(int32_t(rows.GetInteger(i)));
    case FieldType::Logical:
      return FieldValue::Logical(rows.GetInteger(i) != 0);
    case FieldType::Date:
      if (!rows.GetDateTime(i, &t) || !Packs(t.year, t.month, t.day)) break;
      return FieldValue::Date(t.year * 10000 + t.month * 100 + t.day);
    case FieldType::Time:
      if (!rows.GetDateTime(i, &t) || !Packs(t.hour, t.minute, t.second)) break;
      return FieldValue::Time(t.hour * 10000 + t.minute * 100 + t.second);
    case FieldType::TimeStamp:
      if (!rows.GetDateTime(i, &t)) break;
      return FieldValue::TimeStamp(
          PackTimeStamp(t.year, t.month, t.day, t.hour, t.minute, t.second));
    case FieldType::Binary: {
      std::string_view b = rows.GetBytes(i);
      return FieldValue::Binary(b.data(), b.size());
    }
  }
  return FieldValue::Null();
}

}  // namespace mdbstore
