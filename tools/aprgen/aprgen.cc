// aprgen: writes the thirteen handheld appraisal tables and TAGTABLE, filled with sample
// appraisals, into a folder (a Valtrix System folder for tests and demos).
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "aprtables.h"
#include "platform/cli.h"
#include "platform/installation.h"

namespace {

std::vector<std::string> Split(const std::string& s) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= s.size()) {
    size_t comma = s.find(',', start);
    if (comma == std::string::npos) comma = s.size();
    if (comma > start) out.push_back(s.substr(start, comma - start));
    start = comma + 1;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  aprtables::Options o;
  std::string folder, plugin, forms, marked = "all";
  CLI::App app{
      "Writes AprSubj, AprHood, AprSite, AprRmCt, AprDsc1, AprDsc2, AprDsc3, AprVC, "
      "AprInfo, Apk01, Apk02, Apk03, ApkLg and TAGTABLE as dBASE files into FOLDER.",
      "aprgen"};
  nb::cli::Prepare(app);
  app.add_option("FOLDER", folder, "the folder to write the tables into")->required();
  app.add_option("-n,--count", o.count, "sample appraisals")
      ->check(CLI::Range(0, 32767))
      ->capture_default_str();
  app.add_option("--first-id", o.first_id, "AprID of the first appraisal")
      ->check(CLI::Range(-32768, 32767))
      ->capture_default_str();
  app.add_option("--forms", forms, "MajorForm values, comma-separated, used in turn")
      ->default_str("URAR,COND,704");
  app.add_option("--marked", marked,
                 "appraisals with SyncX \"X\": all, none, or a comma-separated list of AprIDs")
      ->capture_default_str();
  app.add_flag("--delsync", o.delsync,
               "set AprInfo.DELSYNC (exported appraisals leave the tables)");
  app.add_option("--seed", o.seed, "sample values")->capture_default_str();
  app.add_option("--omit", o.omit, "leave this field out of its table (repeatable)")
      ->allow_extra_args(false)
      ->type_name("TABLE.FIELD");
  app.add_option("--plugin", plugin,
                 "table store plug-in (default: the installation's dbfstore.so)")
      ->check(CLI::ExistingFile);
  if (int rc = nb::cli::Parse(app, argc, argv); rc >= 0) return rc;
  if (plugin.empty()) plugin = nb::LibraryDir() + "/dbfstore.so";
  if (!forms.empty()) {
    o.forms = Split(forms);
    if (o.forms.empty()) return nb::cli::UsageError(app, "--forms needs a list");
  }
  o.mark_all = marked == "all";
  if (marked != "all" && marked != "none") {
    for (const std::string& id : Split(marked)) {
      char* end = nullptr;
      long n = std::strtol(id.c_str(), &end, 10);
      if (*end || n < -32768 || n > 32767)
        return nb::cli::UsageError(app, "bad AprID in --marked: " + id);
      o.marked.push_back(int(n));
    }
  }
  if (o.first_id + o.count - 1 > 32767) return nb::cli::UsageError(app, "AprIDs beyond 32767");
  std::string error = aprtables::WriteTables(folder, o, plugin);
  if (!error.empty()) {
    std::fprintf(stderr, "aprgen: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
