#include "table_file.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "dbase/table.h"
#include "dbase/values.h"

namespace dao {

namespace {

Field::Type TypeOf(const FieldDesc& desc, char letter) {
  if (letter == 'M') return Field::Type::Memo;
  switch (desc.type) {
    case FieldType::Number:
      return Field::Type::Number;
    case FieldType::Logical:
      return Field::Type::Logical;
    case FieldType::Date:
      return Field::Type::Date;
    case FieldType::Time:
      return Field::Type::Time;
    case FieldType::Binary:
      return Field::Type::Binary;
    case FieldType::TimeStamp:
      return Field::Type::TimeStamp;
    default:
      return Field::Type::Text;
  }
}

Value FromFieldValue(const FieldValue& v) {
  switch (v.tag()) {
    case FieldTag::Text:
      return Value::Text(std::string(v.text_view()));
    case FieldTag::Int32:
    case FieldTag::Int64:
    case FieldTag::TimeStamp:
      return Value::Number(double(v.AsInt64()));
    case FieldTag::Double:
      return Value::Number(v.dbl());
    case FieldTag::Logical:
      return Value::Logical(v.logical());
    case FieldTag::Date:
      return Value::Date(v.date());
    case FieldTag::Time:
      return Value::Time(v.time());
    case FieldTag::Binary:
      return Value::Text(std::string(reinterpret_cast<const char*>(v.bytes()), v.length()));
    default:
      return Value();
  }
}

// A value of the field's own kind (see ToFieldKind) as the table layer takes it.
FieldValue ToFieldValue(const FieldDesc& desc, const Value& v) {
  if (v.is_null()) return FieldValue::Null();
  switch (desc.type) {
    case FieldType::Number:
      if (desc.decimals > 0) return FieldValue::Double(v.number());
      if (std::fabs(v.number()) < 2147483647.0 && desc.width < 10)
        return FieldValue::Int32(int32_t(std::lround(v.number())));
      return FieldValue::Int64(std::llround(v.number()));
    case FieldType::TimeStamp:
      return FieldValue::TimeStamp(std::llround(v.number()));
    case FieldType::Logical:
      return FieldValue::Logical(v.logical());
    case FieldType::Date:
      return FieldValue::Date(int32_t(v.number()));
    case FieldType::Time:
      return FieldValue::Time(int32_t(v.number()));
    case FieldType::Binary:
      return FieldValue::Binary(v.text().data(), v.text().size());
    default:
      return FieldValue::Text(v.ToText());
  }
}

// Reads go through a read-only handle; every change goes through a writable handle that
// is closed at once, so the headers on disk are always up to date and other handles on
// the same file see the change.
class DbaseTableFile : public TableFile {
 public:
  explicit DbaseTableFile(std::string path) : path_(std::move(path)) {
    Reopen();
    for (size_t j = 0; j < reader_.fields().size(); ++j) {
      const FieldDesc& desc = reader_.fields()[j];
      const dbase::Column& column = reader_.columns()[j];
      Field f;
      f.name = desc.name;
      f.type = TypeOf(desc, column.letter);
      f.width = column.length;
      f.decimals = desc.decimals;
      fields_.push_back(f);
      by_name_.emplace(Lower(f.name), j);
    }
  }

  size_t ColumnOf(const std::string& name) const override {
    auto it = by_name_.find(Lower(name));
    return it == by_name_.end() ? std::string::npos : it->second;
  }

  std::vector<size_t> RowsWith(size_t column, double number) override {
    auto built = indexes_.find(column);
    if (built == indexes_.end()) {
      Index index;
      for (size_t i = 0, n = size(); i < n; ++i) {
        Value v = ReadValue(i, column);
        if (IsKey(v)) index.emplace_back(v.number(), i);
      }
      std::sort(index.begin(), index.end());
      built = indexes_.emplace(column, std::move(index)).first;
    }
    const Index& index = built->second;
    std::vector<size_t> rows;
    auto it = std::lower_bound(index.begin(), index.end(), Entry(number, 0));
    for (; it != index.end() && it->first == number; ++it)
      if (!deleted(it->second)) rows.push_back(it->second);
    return rows;
  }

  const std::vector<Field>& fields() const override { return fields_; }
  size_t size() const override { return reader_.record_count(); }

  bool deleted(size_t index) const override {
    const char* raw = Raw(index);
    return raw[0] == dbase::kDeletedFlag;
  }

  std::vector<Value> Read(size_t index) const override {
    std::vector<Value> values;
    values.reserve(fields_.size());
    for (size_t j = 0; j < fields_.size(); ++j) values.push_back(ReadValue(index, j));
    return values;
  }

  Value ReadValue(size_t index, size_t j) const override {
    std::string_view bytes = reader_.FieldBytes(Raw(index), j);
    if (reader_.IsMemoColumn(j)) return FromFieldValue(reader_.MemoValue(j, bytes));
    if (fields_[j].type == Field::Type::Logical) {
      // Blank or '?' is a logical without a value.
      char c = bytes.empty() ? ' ' : bytes[0];
      if (c && std::strchr("TtYy", c)) return Value::Logical(true);
      if (c && std::strchr("FfNn", c)) return Value::Logical(false);
      return Value();
    }
    const FieldDesc& desc = reader_.fields()[j];
    std::optional<FieldValue> v =
        dbase::ParseValue(bytes.data(), bytes.size(), desc.type, desc.decimals);
    return v ? FromFieldValue(*v) : Value();
  }

  void Rewrite(size_t index, const std::vector<Value>& values) override {
    std::vector<FieldValue> row = Encode(values);
    std::vector<Value> before;
    for (auto& [column, keys] : indexes_) before.push_back(ReadValue(index, column));
    Change([&](dbase::Table& t) { return t.RewriteRecord(index, row); });
    size_t k = 0;
    for (auto& [column, keys] : indexes_) {
      const Value& old = before[k++];
      if (column >= values.size() || values[column] == old) continue;
      Unindex(keys, old, index);
      Reindex(keys, values[column], index);
    }
  }

  // A deleted record stays in the indexes; RowsWith passes over it.
  void MarkDeleted(size_t index) override {
    Change([&](dbase::Table& t) { return t.MarkDeleted(index); });
  }

  size_t Append(const std::vector<Value>& values) override {
    std::vector<FieldValue> row = Encode(values);
    size_t index = size();
    Change([&](dbase::Table& t) { return t.AppendRecord(row); });
    for (auto& [column, keys] : indexes_)
      if (column < values.size()) Reindex(keys, values[column], index);
    return index;
  }

 private:
  void Reopen() {
    reader_.Close(false);
    if (!reader_.Open(path_, false))
      throw Error("cannot read the table " + path_ + ": " + reader_.error());
  }

  const char* Raw(size_t index) const {
    const char* raw = reader_.RawRecord(index);
    if (!raw) throw Error("cannot read record " + std::to_string(index + 1) + " of " + path_);
    return raw;
  }

  std::vector<FieldValue> Encode(const std::vector<Value>& values) const {
    std::vector<FieldValue> row;
    std::vector<char> cell;
    for (size_t j = 0; j < fields_.size(); ++j) {
      const FieldDesc& desc = reader_.fields()[j];
      row.push_back(ToFieldValue(desc, j < values.size() ? values[j] : Value()));
      if (desc.type == FieldType::Number || desc.type == FieldType::TimeStamp) {
        // The layer writes a number too wide for its column as asterisks; refuse it.
        cell.assign(size_t(fields_[j].width) + 1, 0);
        dbase::FormatValue(desc, row.back(), cell.data(), size_t(fields_[j].width));
        if (fields_[j].width > 0 && cell[0] == '*')
          throw Error("the value " + values[j].ToText() + " is too wide for the field " +
                      fields_[j].name + " of " + path_);
      }
    }
    return row;
  }

  template <typename Op>
  void Change(Op op) {
    dbase::Table writer;
    writer.set_blank_null_logicals(true);
    if (!writer.Open(path_, true))
      throw Error("cannot open the table " + path_ + " for writing: " + writer.error());
    bool ok = op(writer);
    std::string why = writer.error();
    ok = writer.Close(true) && ok;
    if (why.empty()) why = writer.error();
    Reopen();
    if (!ok) throw Error("cannot write the table " + path_ + ": " + why);
  }

  // (number, record) of every record holding a number in the column, sorted: 16 bytes a
  // record, so that an index of every appraisal table stays small.
  using Entry = std::pair<double, size_t>;
  using Index = std::vector<Entry>;

  static bool IsKey(const Value& v) { return v.kind() == Value::Kind::Number; }

  static void Unindex(Index& keys, const Value& v, size_t index) {
    if (!IsKey(v)) return;
    auto it = std::lower_bound(keys.begin(), keys.end(), Entry(v.number(), index));
    if (it != keys.end() && *it == Entry(v.number(), index)) keys.erase(it);
  }

  static void Reindex(Index& keys, const Value& v, size_t index) {
    if (!IsKey(v)) return;
    const Entry e(v.number(), index);
    keys.insert(std::upper_bound(keys.begin(), keys.end(), e), e);
  }

  static std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
      if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return out;
  }

  std::string path_;
  mutable dbase::Table reader_;
  std::vector<Field> fields_;
  std::unordered_map<std::string, size_t> by_name_;  // lowered name -> first such column
  std::unordered_map<size_t, Index> indexes_;        // by column
};

}  // namespace

std::unique_ptr<TableFile> TableFile::Open(const std::string& path) {
  return std::make_unique<DbaseTableFile>(path);
}

}  // namespace dao
