// The data-access layer over SQLite. Column kinds become declared types that SQLite's
// type affinity handles as intended; column descriptions live in the catalog table
// NBColumns; dates and times are stored as text "YYYY-MM-DD HH:MM:SS".
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "data_access.h"
#include "platform/os.h"
#include "seam_vfs.h"

namespace mdb::data {
namespace {

constexpr const char* kSource = "SQLite";
constexpr const char* kDescriptions = "NBColumns";

// Declared type names: the first of each kind is the one written.
struct TypeName {
  const char* name;
  int kind;
};
constexpr TypeName kTypeNames[] = {{"INT", Kind::Integer},
                                   {"DOUBLE", Kind::Double},
                                   {"DATETIME", Kind::Date},
                                   {"BOOLEAN", Kind::Boolean},
                                   {"BIGINT", Kind::BigInt},
                                   {"VARCHAR", Kind::Text},
                                   {"LONGTEXT", Kind::LongText},
                                   {"BLOB", Kind::LongBinary},
                                   // What other programs call them.
                                   {"INTEGER", Kind::BigInt},
                                   {"REAL", Kind::Double},
                                   {"FLOAT", Kind::Double},
                                   {"DATE", Kind::Date},
                                   {"TIMESTAMP", Kind::Date},
                                   {"BIT", Kind::Boolean},
                                   {"CHAR", Kind::Text},
                                   {"NVARCHAR", Kind::Text},
                                   {"TEXT", Kind::LongText},
                                   {"MEMO", Kind::LongText},
                                   {"LONGBINARY", Kind::LongBinary}};
constexpr int kUnsizedText = 255;

Error EngineError(sqlite3* db) {
  const int code = sqlite3_extended_errcode(db);
  const int primary = code & 0xFF;
  return {code, kSource, sqlite3_errmsg(db), primary == SQLITE_BUSY || primary == SQLITE_LOCKED};
}

Error SystemError(int error, const std::string& what = {}) {
  return {error, "mdbstore", (what.empty() ? "" : what + ": ") + std::strerror(error), false};
}

Error FileError(const std::string& description) {
  return {SQLITE_NOTADB, "mdbstore", description, false};
}

std::string Quote(const std::string& name) {
  std::string q = "\"";
  for (char c : name) q += c == '"' ? std::string("\"\"") : std::string(1, c);
  return q + "\"";
}

class Statement {
 public:
  Statement() = default;
  Statement(sqlite3* db, const std::string& sql) : db_(db) {
    if (sqlite3_prepare_v2(db, sql.c_str(), int(sql.size()), &stmt_, nullptr) != SQLITE_OK)
      throw EngineError(db);
  }
  Statement(Statement&& o) noexcept : db_(o.db_), stmt_(o.stmt_) { o.stmt_ = nullptr; }
  Statement& operator=(Statement&& o) noexcept {
    std::swap(db_, o.db_);
    std::swap(stmt_, o.stmt_);
    return *this;
  }
  ~Statement() { sqlite3_finalize(stmt_); }

  sqlite3_stmt* get() const { return stmt_; }
  explicit operator bool() const { return stmt_ != nullptr; }
  // True for a row, false when done.
  bool Step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    Error e = EngineError(db_);
    sqlite3_reset(stmt_);
    throw e;
  }
  void Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
  void BindText(int i, std::string_view text) {
    sqlite3_bind_text(stmt_, i, text.data(), int(text.size()), SQLITE_TRANSIENT);
  }

 private:
  sqlite3* db_ = nullptr;
  sqlite3_stmt* stmt_ = nullptr;
};

void Exec(sqlite3* db, const std::string& sql) {
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) throw EngineError(db);
}

uint32_t Be(const unsigned char* p, int n) {
  uint32_t v = 0;
  for (int i = 0; i < n; ++i) v = v << 8 | p[i];
  return v;
}

// Refuses, before SQLite sees it, a file that SQLite would take for something else: an
// empty file (an empty database to SQLite), a Jet database, a truncated database.
void CheckDatabaseFile(const std::string& path) {
  nb::Os& os = nb::TheOs();
  struct stat st;
  if (os.Stat(path.c_str(), &st) != 0) return;  // SQLite says why it cannot open it
  if (S_ISDIR(st.st_mode)) throw FileError("the path is a folder, not a database file");
  if (st.st_size == 0) throw FileError("the file is empty, not an SQLite database");
  unsigned char h[100] = {};
  const int fd = os.Open(path.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) return;
  const ssize_t n = os.Read(fd, h, sizeof h);
  os.Close(fd);
  if (n >= 19 && std::memcmp(h, "\x00\x01\x00\x00", 4) == 0 &&
      (std::memcmp(h + 4, "Standard Jet DB", 15) == 0 ||
       std::memcmp(h + 4, "Standard ACE DB", 15) == 0))
    throw FileError(
        "the file is a Jet database; this store keeps its tables in SQLite databases and "
        "does not read Jet files");
  if (n < 16 || std::memcmp(h, "SQLite format 3", 16) != 0) return;  // SQLite refuses it
  if (n < 100) throw FileError("the file is truncated: it ends inside the database header");
  // A hot journal may legitimately change the size; SQLite rolls it back first.
  if (os.Access((path + "-journal").c_str(), F_OK) == 0) return;
  const uint32_t page_size = Be(h + 16, 2) == 1 ? 65536 : Be(h + 16, 2);
  // SQLite refuses other page sizes itself.
  if (page_size < 512 || (page_size & (page_size - 1)) != 0) return;
  // The header's page count counts only when the change counter it was written with is
  // the current one (writers before 3.7.0 left it stale); SQLite takes a last partial
  // page as a page.
  const uint32_t pages = Be(h + 28, 4);
  const bool size_valid = pages != 0 && Be(h + 24, 4) == Be(h + 92, 4);
  const uint64_t file_pages = (uint64_t(st.st_size) + page_size - 1) / page_size;
  if (size_valid && file_pages < pages)
    throw FileError("the file is truncated: it holds " + std::to_string(st.st_size) +
                    " of the database's " + std::to_string(uint64_t(pages) * page_size) + " bytes");
}

// "[-]Y-M-D" with an optional " H:M:S" (or "T" before it), each part of digits.
bool ParseDateTime(std::string_view s, DateTime* v) {
  size_t at = 0;
  auto number = [&](int* out) {
    const bool negative = at < s.size() && s[at] == '-';
    at += negative;
    const size_t start = at;
    long n = 0;
    while (at < s.size() && at - start < 9 && s[at] >= '0' && s[at] <= '9')
      n = n * 10 + (s[at++] - '0');
    *out = int(negative ? -n : n);
    return at > start;
  };
  auto separator = [&](char c) {
    if (at >= s.size() || s[at] != c) return false;
    ++at;
    return true;
  };
  DateTime t;
  if (!number(&t.year) || !separator('-') || !number(&t.month) || !separator('-') ||
      !number(&t.day))
    return false;
  if (separator(' ') || separator('T')) {
    if (!number(&t.hour) || !separator(':') || !number(&t.minute) || !separator(':') ||
        !number(&t.second))
      return false;
  }
  if (at != s.size()) return false;
  *v = t;
  return true;
}

class SqliteCatalog : public Catalog {
 public:
  explicit SqliteCatalog(sqlite3* db) : db_(db) {}

  bool HasTable(const std::string& table) override {
    Statement s(db_,
                "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE");
    s.BindText(1, table);
    return s.Step();
  }

  void DropTable(const std::string& table) override {
    Exec(db_, "DROP TABLE IF EXISTS " + Quote(table));
    if (!HasTable(kDescriptions)) return;
    Statement s(
        db_, std::string("DELETE FROM ") + kDescriptions + " WHERE TableName = ?1 COLLATE NOCASE");
    s.BindText(1, table);
    s.Step();
  }

  void CreateTable(const std::string& table, const std::vector<Column>& columns) override {
    std::string sql = "CREATE TABLE " + Quote(table) + " (";
    for (size_t i = 0; i < columns.size(); ++i) {
      const Column& c = columns[i];
      sql += (i ? ", " : "") + Quote(c.name) + " " + TypeNameOf(c.kind);
      if (c.kind == Kind::Text) sql += "(" + std::to_string(c.defined_size) + ")";
      if (!c.nullable) sql += " NOT NULL DEFAULT 0";
    }
    Exec(db_, sql + ")");
    Statement add;
    for (const Column& c : columns) {
      if (c.description.empty()) continue;
      if (!add) {
        Exec(db_, std::string("CREATE TABLE IF NOT EXISTS ") + kDescriptions +
                      " (TableName TEXT NOT NULL, ColumnName TEXT NOT NULL, Description TEXT, "
                      "PRIMARY KEY (TableName, ColumnName))");
        add = Statement(
            db_, std::string("INSERT OR REPLACE INTO ") + kDescriptions + " VALUES (?1, ?2, ?3)");
      }
      add.Reset();
      add.BindText(1, table);
      add.BindText(2, c.name);
      add.BindText(3, c.description);
      add.Step();
    }
  }

  std::vector<Column> Columns(const std::string& table) override {
    std::vector<Column> columns;
    Statement info(db_, "PRAGMA table_info(" + Quote(table) + ")");
    while (info.Step()) {
      Column c;
      c.name = Text(info, 1);
      ParseType(Text(info, 2), &c);
      c.nullable = sqlite3_column_int(info.get(), 3) == 0;
      columns.push_back(std::move(c));
    }
    if (!HasTable(kDescriptions)) return columns;
    Statement d(db_, std::string("SELECT ColumnName, Description FROM ") + kDescriptions +
                         " WHERE TableName = ?1 COLLATE NOCASE");
    d.BindText(1, table);
    while (d.Step()) {
      const std::string name = Text(d, 0);
      for (Column& c : columns)
        if (strcasecmp(c.name.c_str(), name.c_str()) == 0) c.description = Text(d, 1);
    }
    return columns;
  }

 private:
  static std::string Text(const Statement& s, int i) {
    const unsigned char* t = sqlite3_column_text(s.get(), i);
    return t ? std::string(reinterpret_cast<const char*>(t),
                           size_t(sqlite3_column_bytes(s.get(), i)))
             : std::string();
  }

  static const char* TypeNameOf(int kind) {
    for (const TypeName& t : kTypeNames)
      if (t.kind == kind) return t.name;
    return "VARCHAR";
  }

  // "VARCHAR(20)" -> Text of size 20; unknown names are Kind::Other.
  static void ParseType(const std::string& declared, Column* c) {
    std::string name;
    size_t i = 0;
    while (i < declared.size() && declared[i] != '(') name += char(std::toupper(declared[i++]));
    while (!name.empty() && name.back() == ' ') name.pop_back();
    c->kind = Kind::Other;
    for (const TypeName& t : kTypeNames)
      if (name == t.name) c->kind = t.kind;
    c->defined_size = 0;
    if (i < declared.size()) c->defined_size = std::atoi(declared.c_str() + i + 1);
    if (c->kind == Kind::Text && c->defined_size <= 0) c->defined_size = kUnsizedText;
  }

  sqlite3* db_;
};

class SqliteRowSet : public RowSet {
 public:
  SqliteRowSet(sqlite3* db, const std::string& table) : db_(db), table_(table) {
    Statement ids(db, "SELECT rowid FROM " + Quote(table) + " ORDER BY rowid");
    while (ids.Step()) rowids_.push_back(sqlite3_column_int64(ids.get(), 0));
  }

  void SetColumns(const std::vector<std::string>& names) override {
    std::string list, params;
    for (size_t i = 0; i < names.size(); ++i) {
      list += (i ? ", " : "") + Quote(names[i]);
      params += (i ? ", ?" : "?") + std::to_string(i + 1);
    }
    loaded_ = -1;
    select_ = Statement();
    insert_ = Statement();
    // Stepped on while the reader moves on by one row, sought anew otherwise.
    select_ = Statement(db_, "SELECT " + list + (names.empty() ? "" : ", ") + "rowid FROM " +
                                 Quote(table_) + " WHERE rowid >= ?1 ORDER BY rowid");
    insert_ = Statement(db_, names.empty() ? "INSERT INTO " + Quote(table_) + " DEFAULT VALUES"
                                           : "INSERT INTO " + Quote(table_) + " (" + list +
                                                 ") VALUES (" + params + ")");
    columns_ = int(names.size());
  }

  int RecordCount() override { return int(rowids_.size()); }
  void MoveFirst() override { pos_ = 0; }
  void MoveLast() override { pos_ = long(rowids_.size()) - 1; }
  void MoveNext() override {
    if (pos_ < long(rowids_.size())) ++pos_;
  }
  void MovePrevious() override {
    if (pos_ >= 0) --pos_;
  }
  bool IsEOF() override { return pos_ >= long(rowids_.size()); }
  bool IsBOF() override { return pos_ < 0 || rowids_.empty(); }

  bool IsNull(int i) override { return sqlite3_column_type(Row(i), i) == SQLITE_NULL; }
  int64_t GetInteger(int i) override { return sqlite3_column_int64(Row(i), i); }
  double GetDouble(int i) override { return sqlite3_column_double(Row(i), i); }
  std::string_view GetText(int i) override {
    sqlite3_stmt* s = Row(i);
    const unsigned char* t = sqlite3_column_text(s, i);
    return t ? std::string_view(reinterpret_cast<const char*>(t),
                                size_t(sqlite3_column_bytes(s, i)))
             : std::string_view();
  }
  std::string_view GetBytes(int i) override {
    sqlite3_stmt* s = Row(i);
    const void* b = sqlite3_column_blob(s, i);
    return b ? std::string_view(static_cast<const char*>(b), size_t(sqlite3_column_bytes(s, i)))
             : std::string_view();
  }
  bool GetDateTime(int i, DateTime* v) override {
    return sqlite3_column_type(Row(i), i) == SQLITE_TEXT && ParseDateTime(GetText(i), v);
  }

  void AddNew() override {
    Prepared(insert_);
    insert_.Reset();
  }
  void SetNull(int i) override { sqlite3_bind_null(insert_.get(), i + 1); }
  void SetInteger(int i, int64_t v) override { sqlite3_bind_int64(insert_.get(), i + 1, v); }
  void SetDouble(int i, double v) override { sqlite3_bind_double(insert_.get(), i + 1, v); }
  void SetText(int i, std::string_view v) override { insert_.BindText(i + 1, v); }
  void SetBytes(int i, std::string_view v) override {
    // An empty blob, not null.
    if (v.empty())
      sqlite3_bind_zeroblob(insert_.get(), i + 1, 0);
    else
      sqlite3_bind_blob(insert_.get(), i + 1, v.data(), int(v.size()), SQLITE_TRANSIENT);
  }
  void SetDateTime(int i, const DateTime& v) override {
    char text[64];
    const int n = std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", v.year, v.month,
                                v.day, v.hour, v.minute, v.second);
    insert_.BindText(i + 1, std::string_view(text, size_t(n)));
  }
  void Update() override {
    insert_.Step();
    sqlite3_reset(insert_.get());
    rowids_.push_back(sqlite3_last_insert_rowid(db_));
  }

 private:
  static void Prepared(const Statement& s) {
    if (!s) throw Error{0, "", "the row set has no columns set", false};
  }

  // The select statement on the current row, column i checked.
  sqlite3_stmt* Row(int i) {
    Prepared(select_);
    if (IsEOF() || IsBOF()) throw Error{0, "", "there is no current row", false};
    if (i < 0 || i >= columns_) throw Error{0, "", "no such column in the row set", false};
    if (loaded_ == pos_) return select_.get();
    const int64_t rowid = rowids_[size_t(pos_)];
    const bool next = loaded_ >= 0 && pos_ == loaded_ + 1;
    loaded_ = -1;
    if (!next || !select_.Step() || sqlite3_column_int64(select_.get(), columns_) != rowid) {
      sqlite3_reset(select_.get());
      sqlite3_bind_int64(select_.get(), 1, rowid);
      if (!select_.Step() || sqlite3_column_int64(select_.get(), columns_) != rowid)
        throw Error{0, kSource, "the row no longer exists", false};
    }
    loaded_ = pos_;
    return select_.get();
  }

  sqlite3* db_;
  std::string table_;
  std::vector<int64_t> rowids_;
  long pos_ = 0;
  long loaded_ = -1;
  int columns_ = 0;
  Statement select_, insert_;
};

class SqliteConnection : public Connection {
 public:
  ~SqliteConnection() override { Close(); }

  void Open(const std::string& path, bool read_only) override {
    Close();
    CheckDatabaseFile(path);
    // A write that was cut off left a journal; only a writable connection can roll it
    // back, and this reader would otherwise fail until some writer came by.
    const bool interrupted = nb::TheOs().Access((path + "-journal").c_str(), F_OK) == 0 &&
                             nb::TheOs().Access(path.c_str(), W_OK) == 0;
    OpenFile(path, read_only && !interrupted ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE);
    // A commit survives a power cut: the journal is synced before the database is written,
    // the database before the journal goes, and the journal's removal, the commit itself,
    // is synced in its folder (EXTRA; FULL leaves it, and a journal back after a power cut
    // would roll the commit back). A rollback journal, not WAL: WAL's shared memory needs a
    // local disk, and a database may lie on a network share.
    if (!read_only) Exec(db_, "PRAGMA journal_mode = DELETE; PRAGMA synchronous = EXTRA");
    // One read transaction for the whole reading: one snapshot, and no lock taken and
    // dropped for every row.
    if (read_only) Exec(db_, "BEGIN");
    // Reads the header now: a file that is no database fails here, not later.
    Exec(db_, "PRAGMA schema_version");
    // SQLite writes into a damaged database without noticing and can leave it unreadable.
    if (!read_only) CheckIntact();
  }

  void CreateDatabase(const std::string& path) override {
    Close();
    // Built beside its place under the durable write's temporary name (so a killed
    // writer's leftover is recognised and removed) and moved there whole on commit;
    // nothing to roll back into, so no journal and no syncs until then.
    std::string temp;
    const int fd = nb::CreateTemporaryFor(path, &temp);
    if (fd < 0) throw SystemError(errno);
    const bool made = nb::TheOs().Fchmod(fd, 0644) == 0;
    const int error = errno;
    nb::TheOs().Close(fd);
    temp_ = temp;
    path_ = path;
    if (!made) throw SystemError(error);
    OpenFile(temp, SQLITE_OPEN_READWRITE);
    Exec(db_,
         "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; "
         "PRAGMA locking_mode = EXCLUSIVE");
  }

  void Execute(const std::string& statement) override { Exec(Db(), statement); }
  void BeginTrans() override { Exec(Db(), temp_.empty() ? "BEGIN IMMEDIATE" : "BEGIN"); }

  void CommitTrans() override {
    Exec(Db(), "COMMIT");
    if (temp_.empty()) return;
    nb::Os& os = nb::TheOs();
    const int fd = os.Open(temp_.c_str(), O_RDONLY | O_CLOEXEC, 0);
    bool synced = fd >= 0 && os.Fsync(fd) == 0;
    int error = errno;
    if (fd >= 0 && os.Close(fd) != 0 && synced) synced = false, error = errno;
    if (!synced || os.Rename(temp_.c_str(), path_.c_str()) != 0)
      throw SystemError(synced ? errno : error, "cannot move the new database into place");
    temp_.clear();
    // In place now, but its name survives a crash only once the folder is synced.
    if (!nb::SyncFolder(nb::FolderOf(path_)))
      throw SystemError(errno, "cannot make the new database's name durable");
  }

  void Close() override {
    if (db_) sqlite3_close_v2(db_);  // rolls back what was not committed
    db_ = nullptr;
    if (!temp_.empty()) nb::TheOs().Unlink(temp_.c_str());
    temp_.clear();
  }

  std::unique_ptr<Catalog> OpenCatalog() override { return std::make_unique<SqliteCatalog>(Db()); }
  std::unique_ptr<RowSet> OpenRowSet(const std::string& table) override {
    return std::make_unique<SqliteRowSet>(Db(), table);
  }

 private:
  void OpenFile(const std::string& path, int flags) {
    const int rc = sqlite3_open_v2(path.c_str(), &db_, flags, SeamVfs());
    if (rc != SQLITE_OK) {
      Error e = db_ ? EngineError(db_) : Error{rc, kSource, sqlite3_errstr(rc), false};
      sqlite3_close_v2(db_);
      db_ = nullptr;
      throw e;
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, 2000);
  }

  // Pages that nothing uses (a partial last page, a leak) are harmless to a writer.
  void CheckIntact() {
    Statement check(db_, "PRAGMA quick_check(20)");
    while (check.Step()) {
      const unsigned char* text = sqlite3_column_text(check.get(), 0);
      std::string problem;
      std::istringstream lines(text ? reinterpret_cast<const char*>(text) : "");
      for (std::string line; std::getline(lines, line) && problem.empty();) {
        const bool harmless = line == "ok" || line.rfind("*** in database", 0) == 0 ||
                              (line.rfind("Page ", 0) == 0 && line.size() > 14 &&
                               line.compare(line.size() - 14, 14, " is never used") == 0);
        if (!harmless) problem = line;
      }
      if (!problem.empty()) throw FileError("the database is damaged (" + problem + ")");
    }
    // A schema row naming its table otherwise than the table is named (a letter's case
    // apart) outlives a DROP of that table, and the file no longer opens.
    Statement stray(db_,
                    "SELECT 1 FROM sqlite_master WHERE tbl_name NOT IN "
                    "(SELECT name FROM sqlite_master WHERE type IN ('table', 'view'))");
    if (stray.Step())
      throw FileError("the database is damaged (its schema names a table it does not hold)");
  }

  sqlite3* Db() {
    if (!db_) throw Error{0, "", "the connection is not open", false};
    return db_;
  }

  sqlite3* db_ = nullptr;
  std::string temp_;  // the new database until its first commit
  std::string path_;
};

}  // namespace

std::unique_ptr<Connection> Connection::New() {
  if (sqlite3_initialize() != SQLITE_OK) return nullptr;
  return std::make_unique<SqliteConnection>();
}

}  // namespace mdb::data
