// fuzzseeds: the seed corpora of the fuzz targets, written by our own writers (the
// handheld file and table writers, the dBASE writer, the registry's value lines) and
// packed from files the other generators made (aprgen tables, bmpgen bitmap sets, the
// demo installer script), and database files of the Access store made with SQLite (a table
// as the store makes it, and the fuzzing findings in the store's reading).
//   fuzzseeds OUT --dbase-from DIR --bitmaps-from DIR --script FILE
// writes OUT/<target>-corpus/ for pdbfile, table, dbase, bitmap, profile, registry,
// installer, mdbstore.
#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "dbase/memo.h"
#include "dbase/table.h"
#include "fuzz_input.h"
#include "pdbfile/bytes.h"
#include "pdbfile/pdbfile.h"
#include "reg_text.h"
#include "table_format.h"

namespace fs = std::filesystem;

namespace {

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void Put(const fs::path& folder, const std::string& name, const std::string& bytes) {
  fs::create_directories(folder);
  std::ofstream(folder / name, std::ios::binary) << bytes;
}

std::string Str(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

FieldDesc Field(const char* name, uint8_t type, uint16_t width, uint8_t decimals = 0) {
  FieldDesc f;
  f.SetName(name);
  f.type = type;
  f.width = width;
  f.decimals = decimals;
  return f;
}

std::vector<FieldDesc> Schema() {
  return {Field("NAME", FieldType::Text, 20),       Field("COUNT", FieldType::Number, 6),
          Field("PRICE", FieldType::Number, 12, 2), Field("OK", FieldType::Logical, 1),
          Field("WHEN", FieldType::Date, 8),        Field("AT", FieldType::Time, 6),
          Field("NOTE", FieldType::Binary, 10)};
}

// A table file with every field type and a deleted record.
std::string TableFile() {
  const auto fields = Schema();
  std::vector<char> letters;
  for (const auto& f : fields) letters.push_back(pdbdevice::TypeLetter(f));
  nb::pdb::Database db;
  db.name = "FuzzTable";
  db.type = nb::pdb::FourCC(pdbdevice::kTableType);
  db.creator = nb::pdb::FourCC("FUZZ");
  db.app_info = pdbdevice::EncodeTableInfo(fields, letters, 0);
  for (int r = 0; r < 3; ++r) {
    nb::pdb::Record rec;
    const std::string name = "row " + std::to_string(r), count = std::to_string(r * 7);
    pdbdevice::AppendItem(rec.data, name.data(), name.size());
    pdbdevice::AppendItem(rec.data, count.data(), count.size());
    pdbdevice::AppendItem(rec.data, "12.50", 5);
    pdbdevice::AppendItem(rec.data, "T", 1);
    const uint8_t date[4] = {0, 0x13, 0x4A, 0x5C}, time[4] = {0, 1, 0xE2, 0x40};
    pdbdevice::AppendItem(rec.data, date, 4);
    pdbdevice::AppendItem(rec.data, time, 4);
    if (r == 1) {
      pdbdevice::AppendLeftOutBinary(rec.data);
    } else {
      pdbdevice::AppendBinaryItem(rec.data, "\x01\x02\x03", 3);
    }
    rec.attributes = r == 2 ? nb::pdb::kRecordDeleted : 0;
    rec.unique_id = uint32_t(r + 1);
    db.records.push_back(rec);
  }
  return Str(nb::pdb::Serialize(db, {0, true}));
}

std::string ResourceFile() {
  nb::pdb::Database db;
  db.name = "FuzzApp";
  db.attributes = nb::pdb::kAttrResource;
  db.type = nb::pdb::FourCC("appl");
  db.creator = nb::pdb::FourCC("FUZZ");
  for (uint16_t id = 1000; id < 1003; ++id) {
    nb::pdb::Record res;
    res.res_type = nb::pdb::FourCC("tSTR");
    res.res_id = id;
    res.data.assign(5 + id % 7, uint8_t('a' + id % 26));
    db.records.push_back(res);
  }
  return Str(nb::pdb::Serialize(db));
}

// A dBASE table with a memo column, written by the dBASE writer.
std::string MemoTable(const fs::path& scratch) {
  const std::string path = (scratch / "memo.dbf").string();
  dbase::Table t;
  const std::vector<FieldDesc> schema = {Field("NAME", FieldType::Text, 10),
                                         Field("NOTE", FieldType::Text, dbase::kFirstMemoWidth)};
  if (!t.Create(path, schema)) return {};
  t.AppendRecord({FieldValue::Text("first"), FieldValue::Text(std::string(600, 'm'))});
  t.AppendRecord({FieldValue::Text("second"), FieldValue::Null()});
  t.Close();
  return fuzz::Pack(Slurp(path), Slurp(dbase::MemoPathFor(path)));
}

// A database file of 512-byte pages made by these statements.
std::string Database(const fs::path& scratch, const std::string& sql) {
  const std::string path = (scratch / "t.mdb").string();
  fs::remove(path);
  sqlite3* db = nullptr;
  const bool made = sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
                    sqlite3_exec(db, ("PRAGMA page_size = 512; " + sql).c_str(), nullptr, nullptr,
                                 nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return made ? Slurp(path) : std::string();
}

constexpr const char* kMdbTable =
    "CREATE TABLE \"NBTable\" (\"NAME\" VARCHAR(20), \"NOTES\" LONGTEXT, \"SMALL\" INT, "
    "\"BIG\" VARCHAR(12), \"PRICE\" DOUBLE, \"DONE\" BOOLEAN NOT NULL DEFAULT 0, "
    "\"DAY\" DATETIME, \"AT\" DATETIME, \"PHOTO\" BLOB, \"STAMP\" DATETIME);"
    "CREATE TABLE NBColumns (TableName TEXT NOT NULL, ColumnName TEXT NOT NULL, "
    "Description TEXT, PRIMARY KEY (TableName, ColumnName));"
    "INSERT INTO NBColumns VALUES ('NBTable', 'BIG', 'Int64'), ('NBTable', 'DAY', 'Date'), "
    "('NBTable', 'AT', 'Time'), ('NBTable', 'STAMP', 'TimeStamp');";

void MdbstoreCorpus(const fs::path& out, const fs::path& scratch) {
  const fs::path corpus = out / "mdbstore-corpus";
  const std::string table = std::string(kMdbTable) +
                            "INSERT INTO NBTable VALUES ('Smith', 'line one' || char(10) || 'two', "
                            "-12345678, '123456789012', 1234.5, 1, '2024-02-29 00:00:00', "
                            "'1899-12-30 13:45:01', X'001aff0d20', '2024-02-29 15:26:11');"
                            "INSERT INTO NBTable VALUES (NULL, '   ', NULL, NULL, NULL, 0, NULL, "
                            "NULL, X'', NULL);";
  Put(corpus, "table.mdb", Database(scratch, table));
  // Years and hours of more digits than a 32-bit date or time holds.
  Put(corpus, "digits.mdb",
      Database(scratch, std::string(kMdbTable) +
                            "INSERT INTO NBTable (DAY, AT, STAMP) VALUES ('999999-01-01 00:00:00', "
                            "'1899-12-30 999999:00:00', '-999999999-99-99');"));
  // A header page count not marked valid (a writer before SQLite 3.7.0) and one byte past
  // the last page.
  std::string stale = Database(scratch, table);
  if (stale.size() >= 100) {
    stale[95] = char(stale[95] ^ 0x55);
    Put(corpus, "stale.mdb", stale + 'x');
  }
}

std::string RegistryFile() {
  using nb::reg::Value;
  std::string text = std::string(nb::reg::text::kHeader) + "\r\n\r\n";
  text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Fuzz]\r\n";
  text +=
      nb::reg::text::ValueLine("Name", {Value::Kind::kString, "a \"quoted\" \\ value", 0}) + "\r\n";
  text += nb::reg::text::ValueLine("", {Value::Kind::kString, "default", 0}) + "\r\n";
  text += nb::reg::text::ValueLine("Count", {Value::Kind::kDword, "", 10}) + "\r\n";
  text += nb::reg::text::ValueLine("Multi", {Value::Kind::kBinary, std::string("a\0\0\0", 4), 7}) +
          "\r\n";
  text +=
      nb::reg::text::ValueLine("Raw", {Value::Kind::kBinary, std::string(40, '\x7f'), 3}) + "\r\n";
  text += "\"Gone\"=-\r\n[-HKEY_CURRENT_USER\\Software\\Old]\r\n";
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: fuzzseeds OUT [--dbase-from DIR] [--bitmaps-from DIR] [--script FILE]\n");
    return 2;
  }
  const fs::path out = argv[1];
  fs::path dbase_from, bitmaps_from, script;
  for (int i = 2; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--dbase-from")) dbase_from = argv[i + 1];
    if (!std::strcmp(argv[i], "--bitmaps-from")) bitmaps_from = argv[i + 1];
    if (!std::strcmp(argv[i], "--script")) script = argv[i + 1];
  }
  for (const char* name :
       {"pdbfile", "table", "dbase", "bitmap", "profile", "registry", "installer", "mdbstore"})
    fs::remove_all(out / (std::string(name) + "-corpus"));
  const std::string table = TableFile();
  Put(out / "pdbfile-corpus", "table.pdb", table);
  Put(out / "pdbfile-corpus", "resource.prc", ResourceFile());
  Put(out / "table-corpus", "table.pdb", table);

  const fs::path scratch = out / "fuzzseeds-scratch";
  fs::create_directories(scratch);
  Put(out / "dbase-corpus", "memo.seed", MemoTable(scratch));
  if (!dbase_from.empty()) {
    for (const auto& e : fs::directory_iterator(dbase_from)) {
      if (e.path().extension() != ".dbf") continue;
      const fs::path memo = dbase::ExistingMemoPathFor(e.path().string());
      const std::string memo_bytes = fs::exists(memo) ? Slurp(memo) : std::string();
      Put(out / "dbase-corpus", e.path().stem().string() + ".seed",
          fuzz::Pack(Slurp(e.path()), memo_bytes));
    }
  }
  MdbstoreCorpus(out, scratch);
  fs::remove_all(scratch);

  if (!bitmaps_from.empty()) {
    for (const auto& e : fs::directory_iterator(bitmaps_from)) {
      const std::string stem = e.path().stem().string();
      if (e.path().extension() != ".bmp" || stem.find('-') != std::string::npos) continue;
      const fs::path deep = e.path().parent_path() / (stem + "-16.bmp");
      Put(out / "bitmap-corpus", stem + ".seed",
          fuzz::Pack(Slurp(e.path()), fs::exists(deep) ? Slurp(deep) : std::string()));
    }
  }

  Put(out / "profile-corpus", "appraisal.vxa",
      "[FileInfo]\r\nFileNumber=1001\r\nForm = URAR \r\n\r\n[Data]\r\nPROP_TYPE_CONDO_X.1=X\r\n"
      "S_CITY=\"Springfield\"\r\nnovalue\r\n[Data]\r\nS_CITY=again\r\n");
  Put(out / "profile-corpus", "commresp.dat",
      "[ROOF]\r\nSlate=\r\nTile\r\n =blank\r\n[LONG]\r\nA very long one=x\r\n");
  // A finding: a header with a blank before its "]" was listed, yet read as another one.
  Put(out / "profile-corpus", "blank-header.vxa",
      "[;pprai[Header[Header]\r\nK=1\r\n[;pprai[Header[Header ]\r\nK=2\r\n");
  Put(out / "registry-corpus", "hive.reg", RegistryFile());
  std::string utf16 = "\xFF\xFE";
  for (char c : RegistryFile()) utf16 += std::string{c, '\0'};
  Put(out / "registry-corpus", "hive16.reg", utf16);
  if (!script.empty()) {
    const std::string text = Slurp(script);
    Put(out / "profile-corpus", "install.ini", text);
    Put(out / "installer-corpus", "instprc.seed", fuzz::Pack("-instprc\n-quiet\n", text));
    Put(out / "installer-corpus", "instapp.seed",
        fuzz::Pack("-crtreg\nNBAP\n-condpath\nC:\\Conduits\\x.dll\n-instapp\n-major\n3\n", text));
    Put(out / "installer-corpus", "usage.seed", fuzz::Pack("/?\n", text));
  }
  return 0;
}
