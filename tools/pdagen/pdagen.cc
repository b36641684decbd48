// pdagen: writes application files (.PDA) for tests, benchmarks, demos and the fuzz
// corpus.
//   pdagen [--version V] [--forms N] [--controls N] [--menubars N] [--tables N] FILE
//   pdagen --appraisal FILE      the demo's appraisal application
//   pdagen --seeds FOLDER        small files of every version threshold (fuzz corpus)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "pda_model.h"

namespace {

bool Save(const std::string& path, const pdagen::App& app) {
  const std::vector<uint8_t> bytes = pdagen::Write(app);
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  out.close();
  if (!out) std::fprintf(stderr, "pdagen: cannot write %s\n", path.c_str());
  return bool(out);
}

int Usage() {
  std::fprintf(stderr,
               "usage: pdagen [--version V] [--forms N] [--controls N] [--menubars N] "
               "[--tables N] FILE\n"
               "       pdagen --appraisal FILE\n"
               "       pdagen --seeds FOLDER\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  pdagen::SampleOptions options;
  std::string file, mode;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto number = [&](int* out) {
      if (i + 1 >= argc) return false;
      *out = std::atoi(argv[++i]);
      return *out >= 0;
    };
    int n = 0;
    if (arg == "--appraisal" || arg == "--seeds") {
      mode = arg;
    } else if (arg == "--version" && number(&n)) {
      options.version = uint32_t(n);
    } else if (arg == "--forms" && number(&options.forms)) {
    } else if (arg == "--controls" && number(&options.controls)) {
    } else if (arg == "--menubars" && number(&options.menu_bars)) {
    } else if (arg == "--tables" && number(&options.tables)) {
    } else if (arg[0] != '-' && file.empty()) {
      file = arg;
    } else {
      return Usage();
    }
  }
  if (file.empty()) return Usage();
  if (mode == "--appraisal") return Save(file, pdagen::AppraisalApp()) ? 0 : 1;
  if (mode == "--seeds") {
    for (uint32_t v : {54u, 257u, 258u, 259u, 260u, 261u, 262u, 263u, 264u, 271u, 272u, 273u, 274u,
                       275u, 276u, 277u, 278u}) {
      const pdagen::App app = pdagen::SampleApp(
          {.version = v, .forms = 1, .controls = 16, .menu_bars = 1, .tables = 1});
      if (!Save(file + "/v" + std::to_string(v) + ".pda", app)) return 1;
    }
    return 0;
  }
  return Save(file, pdagen::SampleApp(options)) ? 0 : 1;
}
