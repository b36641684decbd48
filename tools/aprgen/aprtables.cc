#include "aprtables.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <random>
#include <set>

#include "export/export_mapping.h"
#include "import/reader_lists.h"
#include "nbddb/exception.h"
#include "nbddb/plugin.h"
#include "platform/prefix.h"

namespace aprtables {
namespace {

constexpr int kMemoWidth = 500;  // 254 and more makes the store keep a memo

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

bool EndsWith(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}
bool Contains(std::string_view s, std::string_view part) {
  return s.find(part) != std::string_view::npos;
}

// Texts the appraiser writes at length.
bool IsLongText(const std::string& name) {
  static const std::set<std::string> kLong = {
      "APRNOTES",   "S_LEGAL",    "N_BOUND",    "N_MKTABIL",  "N_MKTCOND", "P_FACIL",
      "T_COMMENTS", "T_ADVCNDDS", "T_CONFNBDS", "T_IMPCNFDS", "D_ADFEAT",  "D_IMPRCOND",
      "D_ENVCOND",  "I_DEFDESC",  "PT_CMNTS",   "COMELDESC",  "CONDOINFO", "CMLSDTERMS",
      "704EFITEMS", "SEPMETDESC", "D_CNFMSTDS"};
  if (kLong.count(name)) return true;
  return name.size() == 5 && name.rfind("DESC", 0) == 0 && std::isdigit(name[4]);  // DESC1..9
}

int TextWidth(const std::string& name) {
  static const std::map<std::string, int> kWidths = {
      {"SYNCX", 1},  {"MAJORFORM", 10}, {"FILENUMBER", 16}, {"CASENUMBER", 20}, {"S_STATE", 2},
      {"S_ZIP", 10}, {"S_UNITNUM", 8},  {"S_TAXYEAR", 4},   {"S_CENSUS", 10},   {"S_BORPHONE", 14}};
  auto it = kWidths.find(name);
  if (it != kWidths.end()) return it->second;
  if (name.size() == 4 && name.rfind("NUM", 0) == 0) return 4;  // NUM1..9
  return 40;
}

Column TextColumn(const std::string& name) {
  if (IsLongText(Upper(name))) return {name, Kind::kMemo, kMemoWidth, 0};
  return {name, Kind::kText, TextWidth(Upper(name)), 0};
}

void AddColumn(Table& t, Column c) {
  for (const Column& have : t.columns) {
    if (Upper(have.name) == Upper(c.name)) return;  // a field feeding two keys
  }
  t.columns.push_back(std::move(c));
}

Table AppraisalTable(const valtrix::ExportWriterMap& writer) {
  Table t{std::string(writer.table), {{"AprID", Kind::kNumber, 6, 0}}};
  if (t.name == "AprSubj") {
    t.columns.push_back({"SyncX", Kind::kText, 1, 0});
    t.columns.push_back({"MajorForm", Kind::kText, 10, 0});
  }
  for (const valtrix::ExportStep& step : writer.steps) {
    const std::string field(step.field);
    switch (step.conversion) {
      case valtrix::Conversion::kCheck:
      case valtrix::Conversion::kNoBox:
        AddColumn(t, {field, Kind::kLogical, 1, 0});
        break;
      case valtrix::Conversion::kText:
        AddColumn(t, TextColumn(field));
        break;
      case valtrix::Conversion::kNumber:
      case valtrix::Conversion::kBath: {
        // Bath totals count half baths as a half.
        int decimals = Upper(field) == "D_NUMBATH" ? 1 : 0;
        AddColumn(t, {field, Kind::kNumber, 6, decimals});
        if (!step.half_field.empty()) {
          AddColumn(t, {std::string(step.half_field), Kind::kNumber, 6, 0});
        }
        break;
      }
    }
  }
  // The handheld's tables also hold the fields only the import fills.
  for (const valtrix::import::ReaderList& reader : valtrix::import::ReaderLists()) {
    if (Upper(reader.table_name) != Upper(t.name)) continue;
    for (const valtrix::import::Step& step : *reader.steps) {
      if (step.kind == valtrix::import::StepKind::kText)
        AddColumn(t, TextColumn(step.field));
      else
        AddColumn(t, {step.field, Kind::kLogical, 1, 0});
    }
  }
  return t;
}

// ---- pick lists ------------------------------------------------------------------------

struct PickList {
  const char* table;
  const char* type;
  std::vector<const char*> responses;
};

const std::vector<PickList>& PickLists() {
  static const std::vector<PickList> lists = {
      {"Apk01", "ROOF", {"Composition shingle", "Tile", "Metal", "Wood shake", "Tar & gravel"}},
      {"Apk01", "EXTWALL", {"Wood siding", "Brick veneer", "Stucco", "Vinyl siding", "Hardboard"}},
      {"Apk01", "FOUND", {"Concrete slab", "Crawl space", "Full basement", "Pier & beam"}},
      {"Apk01", "GUTTERS", {"Aluminum", "Galvanized", "Vinyl", "None"}},
      {"Apk02", "HEAT", {"FWA", "Hot water", "Heat pump", "Baseboard", "Radiant"}},
      {"Apk02", "FUEL", {"Gas", "Electric", "Oil", "Propane"}},
      {"Apk02", "COOL", {"Central", "Window units", "None", "Evaporative"}},
      {"Apk02", "FLOORS", {"Carpet/Hardwood", "Carpet/Vinyl", "Tile/Carpet", "Laminate"}},
      {"Apk03", "COND", {"Good", "Average", "Fair", "Poor"}},
      {"Apk03", "VIEW", {"Residential", "Golf course", "Mountain", "Water", "Park"}},
      {"Apk03",
       "DESIGN",
       {"Ranch", "Colonial", "Cape Cod", "Contemporary", "Split level", "Two story"}},
      {"ApkLg",
       "MKTCOND",
       {"Market conditions are stable with typical marketing times of three to six months. "
        "Seller concessions are uncommon.",
        "Values in the neighborhood have increased moderately over the past twelve months "
        "with a shortage of listings."}},
      {"ApkLg",
       "COMMENTS",
       {"The subject conforms to the neighborhood and shows average wear for its age.",
        "No adverse easements, encroachments or special assessments were noted."}},
      {"ApkLg",
       "ADDFEAT",
       {"Covered patio, ceiling fans, updated kitchen with granite counters.",
        "Fireplace, finished basement family room, fenced rear yard."}},
  };
  return lists;
}

const PickList& List(const char* type) {
  for (const PickList& l : PickLists()) {
    if (std::string_view(l.type) == type) return l;
  }
  return PickLists().front();
}

// Tag of the common-responses file -> pick table and pick list; a PickField of a single
// double quote is a row the import passes over.
struct Tag {
  const char* tag;
  const char* table;
  const char* field;
};
const Tag kTags[] = {
    {"ROOF", "Apk01", "ROOF"},         {"EXTWALLS", "Apk01", "EXTWALL"},
    {"FOUNDATION", "Apk01", "FOUND"},  {"GUTTERS", "Apk01", "GUTTERS"},
    {"HEATING", "Apk02", "HEAT"},      {"FUEL", "Apk02", "FUEL"},
    {"COOLING", "Apk02", "COOL"},      {"FLOORS", "Apk02", "FLOORS"},
    {"CONDITION", "Apk03", "COND"},    {"VIEW", "Apk03", "VIEW"},
    {"DESIGN", "Apk03", "DESIGN"},     {"MARKET", "ApkLg", "MKTCOND"},
    {"COMMENTS", "ApkLg", "COMMENTS"}, {"FEATURES", "ApkLg", "ADDFEAT"},
    {"NOTES", "ApkLg", "\""},
};

// ---- sample values ---------------------------------------------------------------------

class Sampler {
 public:
  Sampler(uint32_t seed, int apr_id) : rng_(seed * 7919u + static_cast<uint32_t>(apr_id)) {}

  template <typename T>
  const T& Pick(const std::vector<T>& v) {
    return v[std::uniform_int_distribution<size_t>(0, v.size() - 1)(rng_)];
  }
  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  bool Chance(double p) { return std::bernoulli_distribution(p)(rng_); }

 private:
  std::mt19937 rng_;
};

// Thousands separated by commas, as amounts are typed on the handheld.
std::string Money(int n) {
  const std::string digits = std::to_string(n);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string PickFrom(Sampler& s, const char* list) {
  const PickList& l = List(list);
  return l.responses[static_cast<size_t>(s.Int(0, static_cast<int>(l.responses.size()) - 1))];
}

// A text for the field, as an appraiser fills it in.
std::string SampleText(const std::string& field, int apr_id, Sampler& s) {
  static const std::vector<std::string> kStreets = {"Maple Ave", "Oak Hill Rd", "Cedar Ln",
                                                    "Birch St",  "Lakeview Dr", "Elm Ct"};
  static const std::vector<std::string> kCities = {"Springfield", "Riverton", "Fairview",
                                                   "Lakewood", "Oak Park"};
  static const std::vector<std::string> kPeople = {
      "John A. Smith", "Maria Lopez", "Robert & Ann Chen", "Linda Johnson", "David Miller"};
  static const std::vector<std::string> kLenders = {"First National Bank", "Summit Mortgage Co.",
                                                    "Heritage Savings", "Metro Credit Union"};
  static const std::vector<std::string> kGeneric = {"Average",  "Good",       "Typical",
                                                    "Adequate", "None noted", "Fair"};
  const std::string f = Upper(field);
  if (f == "FILENUMBER")
    return "26" + std::string(4 - std::min<size_t>(4, std::to_string(apr_id).size()), '0') +
           std::to_string(apr_id);
  if (f == "CASENUMBER") return s.Chance(0.3) ? "" : "FHA-" + std::to_string(s.Int(100000, 999999));
  if (f == "S_ADDRESS") return std::to_string(s.Int(100, 9899)) + " " + s.Pick(kStreets);
  if (f == "S_UNITNUM") return s.Chance(0.7) ? "" : std::to_string(s.Int(1, 40));
  if (f == "S_CITY") return s.Pick(kCities);
  if (f == "S_STATE") return "IL";
  if (f == "S_ZIP") return std::to_string(s.Int(60001, 62999));
  if (f == "S_LEGAL")
    return "Lot " + std::to_string(s.Int(1, 60)) + ", Block " + std::to_string(s.Int(1, 12)) +
           ", Oak Hills Subdivision";
  if (f == "S_COUNTY") return s.Pick(std::vector<std::string>{"Sangamon", "Cook", "DuPage"});
  if (f == "S_PARCEL")
    return std::to_string(s.Int(10, 99)) + "-" + std::to_string(s.Int(100, 999)) + "-" +
           std::to_string(s.Int(1000, 9999));
  if (f == "S_TAXYEAR") return "2025";
  if (f == "S_TAXES") return Money(s.Int(1800, 9800));
  if (f == "S_ASSESS") return s.Chance(0.8) ? "0" : Money(s.Int(100, 900));
  if (f == "S_BORROWER" || f == "S_OWNER") return s.Pick(kPeople);
  if (f == "S_HOA") return s.Chance(0.6) ? "0" : std::to_string(s.Int(50, 400)) + "/mo";
  if (f == "S_HOODNAME")
    return s.Pick(std::vector<std::string>{"Oak Hills", "Riverside", "Briarwood"});
  if (f == "S_LENCLI") return s.Pick(kLenders);
  if (f == "S_LCADDR" || f == "S_APPRADDR")
    return std::to_string(s.Int(10, 999)) + " Main St, " + s.Pick(kCities) + ", IL";
  if (f == "S_APPRAISR") return "Karen Weiss";
  if (f == "S_BORPHONE")
    return "(217) " + std::to_string(s.Int(200, 999)) + "-" + std::to_string(s.Int(1000, 9999));
  if (f == "S_LOANTERM") return s.Pick(std::vector<std::string>{"360", "180", "240"});
  if (f == "APRNOTES")
    return "Owner present at inspection.\nRoof replaced 2019 per owner.\nNo repairs noted.";
  if (f == "D_ROOFSURF") return PickFrom(s, "ROOF");
  if (f == "D_EXTWALLS") return PickFrom(s, "EXTWALL");
  if (f == "D_FOUNDAT") return PickFrom(s, "FOUND");
  if (f == "D_GUTTERS") return PickFrom(s, "GUTTERS");
  if (f == "D_HTGTYPE") return PickFrom(s, "HEAT");
  if (f == "D_HTGFUEL") return PickFrom(s, "FUEL");
  if (f == "D_CLGCENT") return PickFrom(s, "COOL");
  if (f == "D_FLOORS") return PickFrom(s, "FLOORS");
  if (f == "D_DESIGN") return PickFrom(s, "DESIGN");
  if (f == "T_VIEW" || f == "GSVIEW") return PickFrom(s, "VIEW");
  if (f == "D_CONDTN" || f == "D_HTGCOND" || f == "D_CLGCOND" || f == "GSCONDIT")
    return PickFrom(s, "COND");
  if (f == "D_NUMUNITS") return "1";
  if (f == "D_NUMSTOR") return std::to_string(s.Int(1, 2));
  if (f == "D_TYPE") return s.Pick(std::vector<std::string>{"Det.", "Att.", "Row"});
  if (f == "D_EXISTING") return "Existing";
  if (f == "YRBUILT") return std::to_string(s.Int(1950, 2022));
  if (f == "T_DIMENS")
    return std::to_string(s.Int(50, 90)) + " x " + std::to_string(s.Int(100, 150));
  if (f == "T_SITEAREA") return Money(s.Int(6000, 14000)) + " sf";
  if (f == "T_ZONING") return "R-1 Single family";
  if (f == "T_FEMAZONE") return "X";
  if (f == "T_FEMAMPNM") return "17167C0" + std::to_string(s.Int(100, 999)) + "F";
  if (f == "D_ADFEAT") return List("ADDFEAT").responses[0];
  if (f == "N_MKTCOND") return List("MKTCOND").responses[0];
  if (IsLongText(f)) return s.Chance(0.5) ? "" : List("COMMENTS").responses[1];
  if (Contains(f, "DATE") || Contains(f, "DAT") || EndsWith(f, "MPDT"))
    return std::to_string(s.Int(1, 12)) + "/" + std::to_string(s.Int(1, 28)) + "/2025";
  if (Contains(f, "PRIC") || Contains(f, "PRC") || Contains(f, "AMT") || Contains(f, "VAL") ||
      Contains(f, "COST") || Contains(f, "EST") || Contains(f, "PLOW") || Contains(f, "PHIGH") ||
      Contains(f, "PPRE"))
    return Money(s.Int(95, 650) * 1000);
  if (Contains(f, "AGE") || Contains(f, "ALOW") || Contains(f, "AHIGH") || Contains(f, "APRE"))
    return std::to_string(s.Int(1, 60));
  if (EndsWith(f, "PCT") || f.rfind("N_LU", 0) == 0) return std::to_string(s.Int(0, 90)) + "%";
  if (Contains(f, "NUM") || Contains(f, "QTY") || Contains(f, "UNITS") || Contains(f, "SPACES") ||
      f.rfind("PH_", 0) == 0 || f.rfind("CM_", 0) == 0 || f.rfind("IN_", 0) == 0 ||
      f.rfind("D_GAR", 0) == 0 || f == "D_CARPORT" || f == "D_DRIVEWAY")
    return std::to_string(s.Int(0, 4));
  if (f.rfind("SEC", 0) == 0 && f.size() == 4) return s.Chance(0.6) ? "" : "Roof";
  return s.Chance(0.15) ? "" : s.Pick(kGeneric);
}

// Room counts by level: a main level, an upper level of bedrooms, sometimes a basement.
int SampleRoomCount(const std::string& field, const std::string& form, Sampler& s) {
  const std::string f = Upper(field);
  const std::string level = f.substr(0, 4), room = f.substr(4);
  const bool single_level = form == "COND";
  if (level == "RC1_") {
    if (room == "LIV" || room == "KIT") return 1;
    if (room == "FOY" || room == "DIN") return s.Chance(0.7) ? 1 : 0;
    if (room == "DEN" || room == "FAM") return s.Chance(0.4) ? 1 : 0;
    if (room == "BED") return single_level ? s.Int(1, 3) : s.Int(0, 1);
    if (room == "FB") return single_level ? s.Int(1, 2) : s.Int(0, 1);
    if (room == "HB") return s.Chance(0.5) ? 1 : 0;
    if (room == "LAUND") return s.Chance(0.6) ? 1 : 0;
    return 0;
  }
  if (single_level) return 0;
  if (level == "RC2_") {
    if (room == "BED") return s.Int(2, 4);
    if (room == "FB") return s.Int(1, 2);
    if (room == "HB") return s.Chance(0.2) ? 1 : 0;
    return 0;
  }
  if (level == "RCB_") {
    if (room == "REC") return s.Chance(0.5) ? 1 : 0;
    if (room == "HB") return s.Chance(0.3) ? 1 : 0;
    if (room == "LAUND" || room == "OTHER") return s.Chance(0.4) ? 1 : 0;
    return 0;
  }
  return 0;  // third level
}

// Stem of a check box of a group answered once: the pair ...Y/...N, or ...1/...2/..., or
// ...GD/...AV/...FR/...PR.
std::string GroupStem(const std::string& name) {
  const std::string f = Upper(name);
  for (const char* tail : {"YES", "NO", "GD", "AV", "FR", "PR", "Y", "N"}) {
    if (EndsWith(f, tail) && f.size() > std::string_view(tail).size() + 2) {
      return f.substr(0, f.size() - std::string_view(tail).size()) + "#";
    }
  }
  if (!f.empty() && std::isdigit(static_cast<unsigned char>(f.back()))) {
    return f.substr(0, f.size() - 1) + "#";
  }
  return f;
}

std::vector<FieldValue> SampleRow(const Table& table, const Appraisal& a, Sampler& s) {
  std::vector<FieldValue> row(table.columns.size());
  std::map<std::string, std::vector<size_t>> groups;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (table.columns[i].kind == Kind::kLogical)
      groups[GroupStem(table.columns[i].name)].push_back(i);
  }
  for (const auto& [stem, members] : groups) {
    if (members.size() == 1) {
      row[members[0]] = FieldValue::Logical(s.Chance(0.3));
      continue;
    }
    // One answer of the group, or (now and then) none.
    size_t chosen = s.Chance(0.1)
                        ? members.size()
                        : static_cast<size_t>(s.Int(0, static_cast<int>(members.size()) - 1));
    for (size_t k = 0; k < members.size(); ++k) row[members[k]] = FieldValue::Logical(k == chosen);
  }
  int area_main = s.Int(850, 1600);
  for (size_t i = 0; i < table.columns.size(); ++i) {
    const Column& c = table.columns[i];
    const std::string f = Upper(c.name);
    if (c.kind == Kind::kLogical) continue;
    if (f == "APRID") {
      row[i] = FieldValue::Int32(a.apr_id);
    } else if (f == "SYNCX") {
      row[i] = FieldValue::Text(a.marked ? "X" : "");
    } else if (f == "MAJORFORM") {
      row[i] = FieldValue::Text(a.form);
    } else if (c.kind == Kind::kNumber) {
      if (f.size() > 4 && f.rfind("RC", 0) == 0 && f[3] == '_' && EndsWith(f, "_AREA")) {
        int area = f == "RC1_AREA"                       ? area_main
                   : f == "RC2_AREA" && a.form != "COND" ? s.Int(600, 1200)
                                                         : 0;
        row[i] = FieldValue::Int32(area);
      } else if (f.size() > 4 && f.rfind("RC", 0) == 0 && f[3] == '_') {
        row[i] = FieldValue::Int32(SampleRoomCount(f, a.form, s));
      } else if (f == "D_NUMROOMS") {
        row[i] = FieldValue::Int32(s.Int(4, 9));
      } else if (f == "D_NUMBEDS") {
        row[i] = FieldValue::Int32(s.Int(1, 5));
      } else if (f == "D_NUMBATH") {
        row[i] = FieldValue::Double(s.Int(2, 7) / 2.0);
      } else if (f == "D_SFGLA") {
        row[i] = FieldValue::Int32(area_main + s.Int(0, 1200));
      } else {
        row[i] = FieldValue::Int32(s.Int(0, 3));
      }
    } else {
      row[i] = FieldValue::Text(SampleText(c.name, a.apr_id, s));
    }
  }
  return row;
}

FieldDesc Desc(const Column& c) {
  FieldDesc d;
  d.SetName(c.name);
  switch (c.kind) {
    case Kind::kText:
      d.type = FieldType::Text;
      d.width = static_cast<uint16_t>(c.width);
      break;
    case Kind::kMemo:
      d.type = FieldType::Text;
      d.width = static_cast<uint16_t>(std::max(c.width, 254));
      break;
    case Kind::kNumber:
      d.type = FieldType::Number;
      d.width = static_cast<uint16_t>(c.width);
      d.decimals = static_cast<uint8_t>(c.decimals);
      break;
    case Kind::kLogical:
      d.type = FieldType::Logical;
      d.width = 1;
      break;
  }
  return d;
}

bool Omitted(const Options& o, const Table& t, const Column& c) {
  const std::string full = Upper(t.name) + "." + Upper(c.name);
  for (const std::string& entry : o.omit) {
    if (Upper(entry) == full) return true;
  }
  return false;
}

}  // namespace

const std::vector<Table>& Tables() {
  static const std::vector<Table> tables = [] {
    std::vector<Table> t;
    for (const valtrix::ExportWriterMap& w : valtrix::ExportWriters())
      t.push_back(AppraisalTable(w));
    t.push_back({"AprInfo", {{"DELSYNC", Kind::kLogical, 1, 0}, {"USERNAME", Kind::kText, 20, 0}}});
    for (const char* pick : {"Apk01", "Apk02", "Apk03"}) {
      t.push_back({pick, {{"Type", Kind::kText, 10, 0}, {"Desc", Kind::kText, 50, 0}}});
    }
    t.push_back({"ApkLg", {{"Type", Kind::kText, 10, 0}, {"Desc", Kind::kMemo, kMemoWidth, 0}}});
    t.push_back({"TAGTABLE",
                 {{"Tag", Kind::kText, 20, 0},
                  {"PickTable", Kind::kText, 10, 0},
                  {"PickField", Kind::kText, 10, 0}}});
    return t;
  }();
  return tables;
}

const Table* FindTable(std::string_view name) {
  for (const Table& t : Tables()) {
    if (Upper(t.name) == Upper(name)) return &t;
  }
  return nullptr;
}

std::vector<Appraisal> SampleAppraisals(const Options& o) {
  std::vector<Appraisal> out;
  const std::vector<std::string> forms =
      o.forms.empty() ? std::vector<std::string>{"URAR"} : o.forms;
  for (int i = 0; i < o.count; ++i) {
    Appraisal a;
    a.apr_id = o.first_id + i;
    a.form = forms[static_cast<size_t>(i) % forms.size()];
    a.marked =
        o.mark_all || std::find(o.marked.begin(), o.marked.end(), a.apr_id) != o.marked.end();
    Sampler s(o.seed, a.apr_id);
    for (size_t t = 0; t < 8; ++t) a.rows.push_back(SampleRow(Tables()[t], a, s));
    out.push_back(std::move(a));
  }
  return out;
}

std::string WriteTables(const std::string& folder, const Options& o,
                        const std::string& plugin_path) {
  for (const std::string& entry : o.omit) {
    size_t dot = entry.find('.');
    const Table* t = dot == std::string::npos ? nullptr : FindTable(entry.substr(0, dot));
    Options one;
    one.omit = {entry};
    bool known = false;
    for (size_t c = 0; t && c < t->columns.size(); ++c) known |= Omitted(one, *t, t->columns[c]);
    if (!known) return "no such table field to omit: " + entry;
  }
  if (!nb::MakeDirs(folder)) return "cannot create the folder " + folder;
  std::vector<Appraisal> appraisals = SampleAppraisals(o);
  try {
    CNbddbPlugin store(plugin_path);
    for (size_t t = 0; t < Tables().size(); ++t) {
      const Table& table = Tables()[t];
      std::vector<size_t> kept;
      store.Reset();
      for (size_t c = 0; c < table.columns.size(); ++c) {
        if (Omitted(o, table, table.columns[c])) continue;
        kept.push_back(c);
        store.AddField(Desc(table.columns[c]));
      }
      const std::string path = folder + "/" + table.name + ".dbf";
      if (!store.Create(path, true)) return "cannot create " + path;
      auto add = [&](const std::vector<FieldValue>& full) {
        std::vector<FieldValue> record;
        for (size_t c : kept) record.push_back(full[c]);
        return store.AddRecord(record);
      };
      bool ok = true;
      if (t < 8) {
        for (const Appraisal& a : appraisals) ok = ok && add(a.rows[t]);
      } else if (table.name == "AprInfo") {
        ok = add({FieldValue::Logical(o.delsync), FieldValue::Text("Karen Weiss")});
      } else if (table.name == "TAGTABLE") {
        for (const Tag& tag : kTags) {
          ok = ok && add({FieldValue::Text(tag.tag), FieldValue::Text(tag.table),
                          FieldValue::Text(tag.field)});
        }
      } else {
        for (const PickList& l : PickLists()) {
          if (table.name != l.table) continue;
          ok = ok && add({FieldValue::Text(l.type), FieldValue::Text("(Edit list...)")});
          for (const char* r : l.responses)
            ok = ok && add({FieldValue::Text(l.type), FieldValue::Text(r)});
        }
      }
      store.Close();
      if (!ok) return "cannot write the rows of " + path;
    }
  } catch (const CNbddb_Exception& e) {
    return std::string("cannot use the table store ") + plugin_path + ": " + e.text();
  }
  return "";
}

}  // namespace aprtables
