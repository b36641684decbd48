// aprgen: writes the thirteen handheld appraisal tables and TAGTABLE, filled with sample
// appraisals, into a folder (a Valtrix System folder for tests and demos).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "aprtables.h"

namespace {

const char kUsage[] =
    "usage: aprgen [options] FOLDER\n"
    "Writes AprSubj, AprHood, AprSite, AprRmCt, AprDsc1, AprDsc2, AprDsc3, AprVC, AprInfo,\n"
    "Apk01, Apk02, Apk03, ApkLg and TAGTABLE as dBASE files into FOLDER.\n"
    "\n"
    "  -n, --count N        sample appraisals (default 3)\n"
    "  --first-id N         AprID of the first appraisal (default 1)\n"
    "  --forms LIST         MajorForm values, comma-separated, used in turn\n"
    "                       (default URAR,COND,704)\n"
    "  --marked WHICH       appraisals with SyncX \"X\": all (default), none, or a\n"
    "                       comma-separated list of AprIDs\n"
    "  --delsync            set AprInfo.DELSYNC (exported appraisals leave the tables)\n"
    "  --seed N             sample values (default 1)\n"
    "  --omit TABLE.FIELD   leave this field out of its table (repeatable)\n"
    "  --plugin PATH        table store plug-in (default dbfstore.so beside aprgen)\n"
    "  -h, --help           this text\n";

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

bool ToInt(const std::string& s, int& out) {
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 10);
  if (s.empty() || *end != '\0' || v < -32768 || v > 32767) return false;
  out = static_cast<int>(v);
  return true;
}

std::string DefaultPlugin() {
  std::error_code ec;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return (ec ? std::filesystem::path(".") : self.parent_path()) / "dbfstore.so";
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "aprgen: %s\n", message.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  aprtables::Options o;
  std::string folder, plugin = DefaultPlugin();
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    std::string v;
    if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "-n" || arg == "--count") {
      if (!value(v) || !ToInt(v, o.count) || o.count < 0) return Fail("bad count: " + v);
    } else if (arg == "--first-id") {
      if (!value(v) || !ToInt(v, o.first_id)) return Fail("bad AprID: " + v);
    } else if (arg == "--forms") {
      if (!value(v) || Split(v).empty()) return Fail("--forms needs a list");
      o.forms = Split(v);
    } else if (arg == "--marked") {
      if (!value(v)) return Fail("--marked needs all, none or a list");
      o.mark_all = v == "all";
      o.marked.clear();
      if (v != "all" && v != "none") {
        for (const std::string& id : Split(v)) {
          int n;
          if (!ToInt(id, n)) return Fail("bad AprID in --marked: " + id);
          o.marked.push_back(n);
        }
      }
    } else if (arg == "--delsync") {
      o.delsync = true;
    } else if (arg == "--seed") {
      int seed;
      if (!value(v) || !ToInt(v, seed)) return Fail("bad seed: " + v);
      o.seed = static_cast<uint32_t>(seed);
    } else if (arg == "--omit") {
      if (!value(v)) return Fail("--omit needs TABLE.FIELD");
      o.omit.push_back(v);
    } else if (arg == "--plugin") {
      if (!value(plugin)) return Fail("--plugin needs a path");
    } else if (!arg.empty() && arg[0] == '-') {
      return Fail("unknown option " + arg + " (see --help)");
    } else if (folder.empty()) {
      folder = arg;
    } else {
      return Fail("more than one folder given");
    }
  }
  if (folder.empty()) return Fail("no folder given (see --help)");
  if (o.first_id + o.count - 1 > 32767) return Fail("AprIDs beyond 32767");
  std::string error = aprtables::WriteTables(folder, o, plugin);
  if (!error.empty()) {
    std::fprintf(stderr, "aprgen: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
