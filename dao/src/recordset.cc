#include "convert.h"
#include "dao/dao.h"
#include "recordset_state.h"

namespace dao {

size_t Recordset::State::Column(const std::string& name) const {
  size_t column = file->ColumnOf(name);
  if (column == std::string::npos) throw Error("the table " + table + " has no field " + name);
  return column;
}

void Recordset::State::RequireCurrent(const char* operation) const {
  if (!HasCurrent()) throw Error(std::string(operation) + " on " + table + ": no current record");
}

const std::vector<Value>& Recordset::State::Current() {
  RequireCurrent("reading a field");
  if (cached != position) {
    cache = file->Read(rows[size_t(position)]);
    cached = position;
  }
  return cache;
}

Recordset::Recordset(std::unique_ptr<State> state) : s_(std::move(state)) {}
Recordset::Recordset(Recordset&&) noexcept = default;
Recordset& Recordset::operator=(Recordset&&) noexcept = default;
Recordset::~Recordset() = default;

bool Recordset::IsBOF() const { return s_->rows.empty() || s_->position < 0; }
bool Recordset::IsEOF() const { return s_->rows.empty() || s_->position >= long(s_->rows.size()); }

int Recordset::RecordCount() const {
  int n = 0;
  for (bool g : s_->gone) n += !g;
  return n;
}

namespace {

// Moves from `from` in `step` to the next row not deleted through this recordset.
long Skip(const std::vector<bool>& gone, long from, int step) {
  long n = long(gone.size());
  while (from >= 0 && from < n && gone[size_t(from)]) from += step;
  return from;
}

}  // namespace

void Recordset::MoveFirst() {
  CancelUpdate();
  if (RecordCount() == 0) throw Error("moving in " + s_->table + ": no current record");
  s_->position = Skip(s_->gone, 0, 1);
}

void Recordset::MoveLast() {
  CancelUpdate();
  if (RecordCount() == 0) throw Error("moving in " + s_->table + ": no current record");
  s_->position = Skip(s_->gone, long(s_->rows.size()) - 1, -1);
}

void Recordset::MoveNext() {
  CancelUpdate();
  if (IsEOF()) throw Error("moving in " + s_->table + ": no current record");
  s_->position = Skip(s_->gone, s_->position + 1, 1);
}

void Recordset::MovePrevious() {
  CancelUpdate();
  if (IsBOF()) throw Error("moving in " + s_->table + ": no current record");
  s_->position = Skip(s_->gone, s_->position - 1, -1);
}

const std::vector<Field>& Recordset::Fields() const { return s_->file->fields(); }

bool Recordset::HasField(const std::string& name) const {
  return s_->file->ColumnOf(name) != std::string::npos;
}

size_t Recordset::ColumnOf(const std::string& name) const { return s_->Column(name); }

const Field& Recordset::GetField(const std::string& name) const {
  return s_->file->fields()[s_->Column(name)];
}

Value Recordset::Get(const std::string& field) const { return At(s_->Column(field)); }

Value Recordset::At(size_t column) const {
  if (column >= s_->file->fields().size())
    throw Error("the table " + s_->table + " has no column " + std::to_string(column));
  if (s_->pending != State::Pending::None) return s_->values[column];
  return s_->Current()[column];
}

void Recordset::Edit() {
  CancelUpdate();
  s_->values = s_->Current();
  s_->pending = State::Pending::Edit;
}

void Recordset::AddNew() {
  CancelUpdate();
  s_->values.assign(s_->file->fields().size(), Value());
  s_->pending = State::Pending::Add;
}

void Recordset::Set(const std::string& field, const Value& value) {
  if (s_->pending == State::Pending::None)
    throw Error("setting " + field + " of " + s_->table + " without Edit or AddNew");
  size_t column = s_->Column(field);
  s_->values[column] = ToFieldKind(s_->file->fields()[column], value);
}

void Recordset::Update() {
  switch (s_->pending) {
    case State::Pending::None:
      throw Error("updating " + s_->table + " without Edit or AddNew");
    case State::Pending::Edit:
      s_->RequireCurrent("updating");
      s_->file->Rewrite(s_->rows[size_t(s_->position)], s_->values);
      s_->cached = -2;
      break;
    case State::Pending::Add: {
      size_t index = s_->file->Append(s_->values);
      // The new row joins the selection; the current row stays where it was.
      s_->rows.push_back(index);
      s_->gone.push_back(false);
      if (s_->rows.size() == 1) s_->position = 0;
      break;
    }
  }
  s_->pending = State::Pending::None;
  s_->values.clear();
}

void Recordset::CancelUpdate() {
  s_->pending = State::Pending::None;
  s_->values.clear();
}

void Recordset::Delete() {
  CancelUpdate();
  s_->RequireCurrent("deleting");
  s_->file->MarkDeleted(s_->rows[size_t(s_->position)]);
  s_->gone[size_t(s_->position)] = true;
  s_->cached = -2;
}

void Recordset::Close() {
  CancelUpdate();
  s_->rows.clear();
  s_->gone.clear();
  s_->position = 0;
}

}  // namespace dao
