// GlobalsandFunctions: the program-wide folders and table list, the error log and the
// profile readers every part of the program shares.
#pragma once

#include <array>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/profile.h"

namespace valtrix {

// Positions in HandheldTables.
enum HandheldTable : size_t {
  kAprSubj,
  kAprHood,
  kAprSite,
  kAprRmCt,
  kAprDsc1,
  kAprDsc2,
  kAprDsc3,
  kAprVC,
  kAprInfo,
  kApk01,
  kApk02,
  kApk03,
  kApkLg,
  kHandheldTableCount
};

// Folders below the program folder, fixed for the whole run. The program folder has no
// trailing separator; the three folders end with one.
struct Folders {
  std::string program;
  std::string system;  // the handheld tables and TAGTABLE
  std::string outbox;  // files the appraisal software leaves for the handheld
  std::string inbox;   // appraisal data files written by the export
  std::array<std::string, kHandheldTableCount> handheld_tables;
};

Folders MakeFolders(const std::string& program_folder);

// Set once at start-up; read by every module.
const Folders& AppFolders();
void SetAppFolders(const Folders& folders);

// True when "commresp.dat" waited in the Outbox when the settings table arrived.
extern bool CommonResponsesPending;

// A failure its module has already written to the error log; the sync flow reports it
// on standard error only.
class LoggedFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Whether the entry at `path` (a trailing separator ignored) is a symbolic link. The
// import moves files out of the Outbox and writes there: a linked Outbox would have it
// take them from, and write into, a folder elsewhere.
bool IsLink(const std::string& path);

// Appends "date time message\r\n" to errorlog.txt in the program folder (date and time
// in the user's LC_TIME forms). Throws std::runtime_error when the log cannot be written.
void LogError(const std::string& message);

// One line on standard output telling a person watching what the program did.
void Progress(const std::string& text);

// The text of a key of an appraisal data file read once into memory: at most 3999
// characters, cut to maximum (0 means 4000 and sets maximum to 4000), every "|" turned
// into a line feed.
std::string ReadProfileText(const nb::Profile& file, std::string_view section, std::string_view key,
                            std::string_view def, int& maximum);
// Whether the key's value (at most 255 characters) is non-empty.
bool ReadProfileCheck(const nb::Profile& file, std::string_view section, std::string_view key,
                      std::string_view def);

}  // namespace valtrix
