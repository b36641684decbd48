#include <strings.h>
#include <sys/stat.h>

#include <unordered_map>

#include "convert.h"
#include "dao/dao.h"
#include "platform/os.h"
#include "recordset_state.h"
#include "table_file.h"

namespace dao {

namespace {

// "AprSubj" names AprSubj.dbf, APRSUBJ.DBF or aprsubj.dbf.
std::string FindTableFile(const std::string& folder, const std::string& table) {
  const std::string wanted = table + ".dbf";
  nb::Os& os = nb::TheOs();
  std::vector<std::string> names;
  os.ListFolder(folder.c_str(), &names);
  for (const std::string& name : names) {
    const std::string path = folder + "/" + name;
    struct stat st;
    if (!strcasecmp(name.c_str(), wanted.c_str()) && os.Stat(path.c_str(), &st) == 0 &&
        S_ISREG(st.st_mode))
      return path;
  }
  return "";
}

std::string Lowered(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

}  // namespace

Database::Database(Database&&) noexcept = default;
Database& Database::operator=(Database&&) noexcept = default;
Database::~Database() = default;

Database Database::Open(const std::string& folder) {
  struct stat st;
  if (nb::TheOs().Stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
    throw Error("the database folder " + folder + " does not exist");
  Database db;
  db.folder_ = folder;
  return db;
}

const std::string& Database::folder() const { return folder_; }

// The tables this Database has opened, by lowered name.
struct Database::Tables {
  std::unordered_map<std::string, std::shared_ptr<TableFile>> open;

  std::shared_ptr<TableFile> Get(const std::string& folder, const std::string& table) {
    std::string key = Lowered(table);
    auto it = open.find(key);
    if (it != open.end()) return it->second;
    std::string path = FindTableFile(folder, table);
    if (path.empty()) throw Error("the table " + table + " is not in " + folder);
    std::shared_ptr<TableFile> file(TableFile::Open(path));
    open.emplace(std::move(key), file);
    return file;
  }
};

bool Database::HasTable(const std::string& table) const {
  if (tables_) {
    std::string key = Lowered(table);
    if (tables_->open.count(key)) return true;
  }
  return !FindTableFile(folder_, table).empty();
}

Recordset Database::Empty(const std::string& table) {
  if (!tables_) tables_ = std::make_shared<Tables>();
  auto state = std::make_unique<Recordset::State>(table, tables_->Get(folder_, table));
  state->Start();
  return Recordset(std::move(state));
}

Recordset Database::All(const std::string& table) {
  if (!tables_) tables_ = std::make_shared<Tables>();
  auto state = std::make_unique<Recordset::State>(table, tables_->Get(folder_, table));
  for (size_t i = 0, n = state->file->size(); i < n; ++i)
    if (!state->file->deleted(i)) state->rows.push_back(i);
  state->Start();
  return Recordset(std::move(state));
}

Recordset Database::Where(const std::string& table, const std::string& field, const Value& value) {
  if (!tables_) tables_ = std::make_shared<Tables>();
  auto state = std::make_unique<Recordset::State>(table, tables_->Get(folder_, table));
  size_t column = state->Column(field);
  const Field& f = state->file->fields()[column];
  if (f.type == Field::Type::Number || f.type == Field::Type::TimeStamp) {
    Value wanted;
    try {
      wanted = ToFieldKind(Field{f.name, f.type, 1 << 30, f.decimals}, value);
    } catch (const Error&) {
    }
    if (wanted.kind() == Value::Kind::Number)
      state->rows = state->file->RowsWith(column, wanted.number());
    state->Start();
    return Recordset(std::move(state));
  }
  for (size_t i = 0, n = state->file->size(); i < n; ++i)
    if (!state->file->deleted(i) && Matches(f, state->file->ReadValue(i, column), value))
      state->rows.push_back(i);
  state->Start();
  return Recordset(std::move(state));
}

Value Database::Max(const std::string& table, const std::string& field) {
  Recordset all = All(table);
  const Field& f = all.GetField(field);
  if (f.type != Field::Type::Number && f.type != Field::Type::TimeStamp)
    throw Error("the field " + f.name + " of " + table + " is not a number field");
  Value best;
  for (size_t row : all.s_->rows) {
    Value v = all.s_->file->ReadValue(row, all.s_->Column(field));
    if (!v.is_null() && (best.is_null() || v.number() > best.number())) best = v;
  }
  return best;
}

void Database::Close() { tables_.reset(); }

}  // namespace dao
