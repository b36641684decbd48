// The installer's command line: the switches of the usage text, matched without regard to
// case after a leading "-" or "/", and their parameters read through a small state
// machine; besides them --help and --version. Parsing never shows anything; a failure comes back as
// the message to show.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace installer {

struct Options {
  bool crtstdreg = false, remstdreg = false;
  bool crtreg = false, remreg = false;
  std::string crtreg_id, remreg_id;  // four characters each
  uint32_t crtreg_creator = 0, remreg_creator = 0;
  bool condpath_given = false, nddi_given = false, name_given = false;
  std::string condpath, nddi, name;
  uint32_t major = 0, minor = 0;  // low 8 bits of the given number
  bool instprc = false, instapp = false, noprcwait = false;
  bool quiet = false, restarths = false;
  bool usage = false;  // -?, -help or an empty command line
  // --help and --version: answered on standard output, before anything of the desktop is
  // opened, as every program here does.
  bool help = false, version = false;
  std::string script;  // as given; empty when none

  // The script must be read: for its ConduitPath, its .PRC files or its applications.
  bool NeedsScript() const { return NeedsConduitPath() || instprc || instapp; }
  bool NeedsConduitPath() const { return NeedsConduit() && !condpath_given; }
  bool NeedsConduit() const { return crtstdreg || crtreg; }
};

// False with the error text in *error; `words` excludes the program name.
bool ParseCommandLine(const std::vector<std::string>& words, Options* options, std::string* error);

// The text of the "appinstaller Usage" box.
std::string UsageText();

// The installer's version, as its about box shows it.
constexpr char kVersion[] = "4.1.0 (Build 010)";

// A four-character creator ID as a number, first character in the most significant byte.
uint32_t CreatorNumber(const std::string& id);

}  // namespace installer
