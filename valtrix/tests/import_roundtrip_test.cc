// Generated appraisals exported and imported again: every field that both directions carry
// comes back equal, and the fields the import does not read stay without a value.
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <utility>

#include "export/export_appraisal.h"
#include "export/export_mapping.h"
#include "import/import_appraisals.h"
#include "import/reader_lists.h"
#include "import_fixture.h"

namespace valtrix {
namespace {

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

struct Source {
  std::string table;  // upper case
  std::string field;  // upper case
  Conversion conversion;
};

// Key -> where the export takes it from, for this form text (the last write of a key wins).
std::map<std::string, Source> ExportSources(const std::string& form) {
  std::map<std::string, Source> out;
  for (const ExportWriterMap& writer : ExportWriters()) {
    for (const ExportStep& step : writer.steps) {
      if (!RuleApplies(step.rule, form)) continue;
      out[std::string(step.key)] = {Upper(writer.table), Upper(step.field), step.conversion};
    }
  }
  return out;
}

// Field -> the key of the last import step that sets it (upper-case names), per table.
std::map<std::string, std::string> ImportKeys(const import::ReaderList& list,
                                              const std::string& stored_form) {
  std::map<std::string, std::string> out;
  for (const import::Step& step : *list.steps) {
    if (step.kind == import::StepKind::kCheck704 && stored_form != "704") continue;
    out[Upper(step.field)] = step.key;
  }
  return out;
}

// What the original value comes back as through the export's conversion and the import.
dao::Value Expected(const dao::Value& original, Conversion conversion, const dao::Field& field,
                    int maximum) {
  switch (conversion) {
    case Conversion::kCheck:
      return dao::Value::Logical(original.is_null() || original.logical());
    case Conversion::kNumber:
      if (original.is_null() || original.number() == 0) return {};
      return original;
    default:
      break;
  }
  if (field.type != dao::Field::Type::Text && field.type != dao::Field::Type::Memo) {
    return original;
  }
  std::string text = original.ToText();
  if (maximum > 0 && static_cast<int>(text.size()) > maximum) text.resize(maximum);
  return dao::Value::Text(text);
}

bool Empty(const dao::Value& v) {
  return v.is_null() || (v.kind() == dao::Value::Kind::Text && v.text().empty());
}

class ImportRoundTrip : public testing::ImportFixture {
 protected:
  // Exports `id` and imports its file; the new appraisal's AprID.
  int RoundTrip(int id) {
    for (const auto& e : std::filesystem::directory_iterator(AppFolders().inbox)) {
      std::filesystem::remove(e.path());
    }
    ExportAppraisal(static_cast<int16_t>(id));
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(AppFolders().inbox)) {
      files.push_back(e.path());
    }
    EXPECT_EQ(files.size(), 1u) << ErrorLog();
    if (files.size() != 1) return 0;
    std::filesystem::rename(files[0], AppFolders().outbox + "roundtrip.vxa");
    int new_id = ImportAppraisal("roundtrip.vxa");
    std::filesystem::remove(AppFolders().outbox + "roundtrip.vxa");
    return new_id;
  }

  // Compares the two appraisals table by table; the number of fields compared.
  int Compare(int original, int copy) {
    dao::Database db = dao::Database::Open(AppFolders().system);
    const std::string form = Get("AprSubj", original, "MajorForm").ToText();
    const std::string stored_form = form == "1004" ? "URAR" : form;
    const auto sources = ExportSources(form == "URAR" ? "1004" : form);
    int compared = 0;
    for (const import::ReaderList& list : import::ReaderLists()) {
      const std::string table(list.table_name);
      dao::Recordset a = db.Where(table, "AprID", dao::Value::Number(original));
      dao::Recordset b = db.Where(table, "AprID", dao::Value::Number(copy));
      EXPECT_EQ(b.RecordCount(), 1) << table;
      if (a.RecordCount() != 1 || b.RecordCount() != 1) continue;
      a.MoveFirst();
      b.MoveFirst();
      const auto keys = ImportKeys(list, stored_form);
      for (const dao::Field& field : a.Fields()) {
        const std::string name = Upper(field.name);
        if (name == "APRID" || name == "SYNCX") continue;
        SCOPED_TRACE(table + "." + field.name + " on the form " + form);
        const dao::Value got = b.Get(field.name);
        if (name == "MAJORFORM") {
          EXPECT_EQ(got.ToText(), stored_form);
          continue;
        }
        auto key = keys.find(name);
        if (key == keys.end()) {  // not read by the import
          EXPECT_TRUE(Empty(got)) << got.ToText();
          continue;
        }
        auto source = sources.find(key->second);
        if (source == sources.end() || source->second.table != Upper(table) ||
            source->second.field != name) {
          continue;  // the key comes from elsewhere on this form
        }
        int maximum = name == "FILENUMBER" ? 8 : 0;
        const dao::Value want =
            Expected(a.Get(field.name), source->second.conversion, field, maximum);
        if (field.type == dao::Field::Type::Text || field.type == dao::Field::Type::Memo) {
          EXPECT_EQ(got.ToText(), want.ToText()) << key->second;  // no value reads as ""
        } else {
          EXPECT_TRUE(got == want) << key->second << ": " << a.Get(field.name).ToText()
                                   << " came back as " << got.ToText();
        }
        ++compared;
      }
    }
    return compared;
  }
};

TEST_F(ImportRoundTrip, EveryFormComesBackEqual) {
  MakeTables({"--count", "6", "--forms", "URAR,COND,704", "--seed", "7"});
  std::map<std::string, int> compared;
  for (int id = 1; id <= 6; ++id) {
    std::string form = Get("AprSubj", id, "MajorForm").ToText();
    int copy = RoundTrip(id);
    ASSERT_GT(copy, 6);
    compared[form] = Compare(id, copy);
  }
  EXPECT_EQ(compared.size(), 3u);
  for (const auto& [form, n] : compared) {
    EXPECT_GE(n, 690) << form;  // nearly every field of the eight tables
  }
  EXPECT_EQ(ErrorLog(), "");
}

}  // namespace
}  // namespace valtrix
