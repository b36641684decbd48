#include "command_line.h"

#include <strings.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

#include "platform/os.h"

namespace installer {
namespace {

// What the word after a switch is for.
enum State { kScript = 0, kCrtRegId, kRemRegId, kCondPath, kNddi, kMajor, kMinor, kName };

struct Switch {
  const char* name;
  State next;  // kScript when the switch takes no parameter
  bool Options::*flag;
};

const Switch kSwitches[] = {
    {"crtstdreg", kScript, &Options::crtstdreg},
    {"remstdreg", kScript, &Options::remstdreg},
    {"crtreg", kCrtRegId, &Options::crtreg},
    {"remreg", kRemRegId, &Options::remreg},
    {"condpath", kCondPath, nullptr},
    {"NDDI", kNddi, nullptr},
    {"major", kMajor, nullptr},
    {"minor", kMinor, nullptr},
    {"name", kName, nullptr},
    {"instprc", kScript, &Options::instprc},
    {"instapp", kScript, &Options::instapp},
    {"noprcwait", kScript, &Options::noprcwait},
    {"quiet", kScript, &Options::quiet},
    {"restarths", kScript, &Options::restarths},
};

// The usage lines: switch and help text.
const char* const kUsageLines[][2] = {
    {"-crtstdreg", "Create standard HotSync registry entries"},
    {"-remstdreg", "Remove standard HotSync registry entries"},
    {"-crtreg <id>", "Create HotSync registry entry with creator id = <id>"},
    {"-remreg <id>", "Remove HotSync registry entry with creator id = <id>"},
    {"-instprc", "Install .PRC files specified in script"},
    {"-noprcwait", "Do not wait for HotSync to install .PRC files"},
    {"-instapp", "Install Nimbra apps specified in script (always waits)"},
    {"-quiet", "Do not display info msgs (msgs that aren't errors)"},
    {"-restarths", "Restart HotSync Manager"},
    {"-condpath <path>", "Path to conduit (overrides script)"},
    {"-NDDI <NDDI dll name>", "Dll name of NDDI plugin (overrides script)"},
    {"-major <0-99>", "Major Version"},
    {"-minor <0-99>", "Minor Version"},
    {"-name <string>", "Name to be shown during HotSync"},
    {"-?, -help", "Show this help message"},
};

std::string Format(const char* format, const std::string& a, const std::string& b = "") {
  std::string out(format);
  size_t at = out.find("%s");
  if (at != std::string::npos) out.replace(at, 2, a);
  at = out.find("%s", at == std::string::npos ? 0 : at + a.size());
  if (at != std::string::npos) out.replace(at, 2, b);
  return out;
}

// "/" also starts a POSIX path: a word with a second "/" or naming an existing file is one.
bool IsSwitch(const std::string& word) {
  if (word.empty()) return false;
  if (word[0] == '-') return true;
  if (word[0] != '/' || word.find('/', 1) != std::string::npos) return false;
  struct stat st;
  return nb::TheOs().Stat(word.c_str(), &st) != 0;
}

class Parser {
 public:
  explicit Parser(Options* o) : o_(o) {}

  // False once an error was found or the usage text was asked for.
  bool Word(const std::string& word) {
    if (IsSwitch(word)) return Flag(word.substr(1));
    return Param(word);
  }

  bool Finish() {
    if (state_ != kScript) return Fail("Was expecting parameter but command line ended.");
    return true;
  }

  std::string error;

 private:
  bool Fail(std::string text) {
    error = std::move(text);
    return false;
  }

  bool Flag(const std::string& name) {
    if (state_ != kScript)
      return Fail(Format("Was expecting parameter but got switch \"%s\".", name));
    if (name == "?" || strcasecmp(name.c_str(), "help") == 0) {
      o_->usage = true;
      return false;
    }
    if (strcasecmp(name.c_str(), "-help") == 0 || strcasecmp(name.c_str(), "-version") == 0) {
      (name[1] == 'h' || name[1] == 'H' ? o_->help : o_->version) = true;
      return false;
    }
    for (const Switch& s : kSwitches) {
      if (strcasecmp(name.c_str(), s.name) != 0) continue;
      if (s.flag) o_->*s.flag = true;
      state_ = s.next;
      return true;
    }
    return Fail(Format("Invalid switch \"-%s\".", name));
  }

  bool Param(const std::string& p) {
    switch (state_) {
      case kScript:
        if (!o_->script.empty())
          return Fail(
              Format("Script filename specified more than once.\nFirst=\"%s\"\nSecond=\"%s\"\n",
                     o_->script, p));
        o_->script = p;
        break;
      case kCrtRegId:
      case kRemRegId:
        if (p.size() != 4)
          return Fail(Format("Specified creator id does not have 4 characters: \"%s\"", p));
        (state_ == kCrtRegId ? o_->crtreg_id : o_->remreg_id) = p;
        (state_ == kCrtRegId ? o_->crtreg_creator : o_->remreg_creator) = CreatorNumber(p);
        break;
      case kCondPath:
        o_->condpath = p;
        o_->condpath_given = true;
        break;
      case kNddi:
        o_->nddi = p;
        o_->nddi_given = true;
        break;
      case kMajor:
        o_->major = uint32_t(std::atoi(p.c_str())) & 0xFF;
        break;
      case kMinor:
        o_->minor = uint32_t(std::atoi(p.c_str())) & 0xFF;
        break;
      case kName:
        o_->name = p;
        o_->name_given = true;
        break;
      default:
        return Fail("Unknown parser state = " + std::to_string(int(state_)));
    }
    state_ = kScript;
    return true;
  }

  Options* o_;
  State state_ = kScript;
};

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& words, Options* options, std::string* error) {
  *options = Options{};
  if (words.empty()) {
    options->usage = true;
    return true;
  }
  Parser parser(options);
  for (const std::string& w : words) {
    if (!parser.Word(w)) break;  // the rest is ignored
  }
  if (options->usage || options->help || options->version) return true;
  if (parser.error.empty()) parser.Finish();
  *error = parser.error;
  return error->empty();
}

std::string UsageText() {
  std::string text = "appinstaller <scriptname> [options]\n\nOptions:\n\n";
  for (const auto& line : kUsageLines) {
    const std::string option = line[0];
    // Help texts line up at the third tab stop.
    size_t tabs = option.size() < 24 ? (24 - option.size() + 7) / 8 : 1;
    text += option + std::string(tabs, '\t') + line[1] + "\n";
  }
  return text;
}

uint32_t CreatorNumber(const std::string& id) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4 && i < id.size(); ++i) v = v << 8 | uint8_t(id[i]);
  return v;
}

}  // namespace installer
