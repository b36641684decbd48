// pdagen: writes application files (.PDA) for tests, benchmarks, demos and the fuzz
// corpus.
//   pdagen [--file-version V] [--forms N] [--controls N] [--menubars N] [--tables N] FILE
//   pdagen --appraisal FILE      the demo's appraisal application
//   pdagen --seeds FOLDER        small files of every version threshold (fuzz corpus)
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "pda_model.h"
#include "platform/cli.h"
#include "platform/os.h"
#include "platform/prefix.h"

namespace {

bool Save(const std::string& path, const pdagen::App& app) {
  const std::vector<uint8_t> bytes = pdagen::Write(app);
  std::string error;
  const bool ok = nb::WriteFileDurably(
      path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), &error);
  if (!ok) std::fprintf(stderr, "pdagen: %s\n", error.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Writes an application file (.PDA): a sample application of the given file version "
      "and size, the demo's appraisal application, or the fuzz seed corpus.",
      "pdagen"};
  nb::cli::Prepare(app);
  pdagen::SampleOptions options;
  std::string file;
  bool appraisal = false, seeds = false;
  app.add_option("FILE", file, "the application file to write (a folder with --seeds)")->required();
  app.add_option("--file-version", options.version, "file version of the sample application")
      ->check(CLI::Range(54u, 65535u));
  app.add_option("--forms", options.forms, "forms of the sample application")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--controls", options.controls, "controls per form")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--menubars", options.menu_bars, "menu bars")->check(CLI::NonNegativeNumber);
  app.add_option("--tables", options.tables, "tables")->check(CLI::NonNegativeNumber);
  auto* appraisal_flag =
      app.add_flag("--appraisal", appraisal, "write the demo's appraisal application");
  app.add_flag("--seeds", seeds, "write small files of every version threshold into FILE")
      ->excludes(appraisal_flag);
  if (int rc = nb::cli::Parse(app, argc, argv); rc >= 0) return rc;

  if (appraisal) return Save(file, pdagen::AppraisalApp()) ? 0 : 1;
  if (seeds) {
    nb::MakeDirs(file);
    for (uint32_t v : {54u, 257u, 258u, 259u, 260u, 261u, 262u, 263u, 264u, 271u, 272u, 273u, 274u,
                       275u, 276u, 277u, 278u}) {
      const pdagen::App sample = pdagen::SampleApp(
          {.version = v, .forms = 1, .controls = 16, .menu_bars = 1, .tables = 1});
      if (!Save(file + "/v" + std::to_string(v) + ".pda", sample)) return 1;
    }
    return 0;
  }
  return Save(file, pdagen::SampleApp(options)) ? 0 : 1;
}
