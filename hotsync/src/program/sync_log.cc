#include "sync_log.h"

#include <cstdlib>
#include <sstream>

#include "log_view.h"
#include "pdbfile/bytes.h"
#include "platform/library.h"
#include "platform/os.h"
#include "platform/prefix.h"
#include "platform/registry.h"

namespace hotsync {
namespace {

constexpr char kLastLog[] = "LastLogFile";

std::string ManagerKey(const Desktop& desktop) { return desktop.keys.user + "\\HotSync Manager"; }

// Drops the oldest synchronisations of the log at `path` so that `keep` remain, in one
// rewrite and only when there are more; true when nothing had to go or the rewrite worked.
bool KeepLast(const std::string& path, size_t keep, std::string* error) {
  std::string text;
  if (!nb::ReadWholeFile(path, &text)) return true;  // no log yet
  const std::string begin = std::to_string(kActivitySyncBegin) + "\t";
  std::vector<size_t> starts;
  for (size_t at = 0; at < text.size();) {
    if (text.compare(at, begin.size(), begin) == 0) starts.push_back(at);
    const size_t end = text.find('\n', at);
    if (end == std::string::npos) break;
    at = end + 1;
  }
  if (starts.size() <= keep) return true;
  return nb::WriteFileDurably(path, std::string_view(text).substr(starts[starts.size() - keep]),
                              error);
}

// "  log 19: ..." as the log library echoes an entry; its activity in *activity.
bool IsLogEcho(const std::string& line, int* activity) {
  const size_t lead = sizeof kLogEchoLead - 1;
  if (line.compare(0, lead, kLogEchoLead) != 0) return false;
  const char* digits = line.c_str() + lead;
  char* end = nullptr;
  *activity = int(std::strtol(digits, &end, 10));
  return end != digits && *end == ':';
}

}  // namespace

HotSyncLibrary::HotSyncLibrary(const Desktop& desktop, const char* name)
    : path_(JoinPath(desktop.hotsync_dir, name)) {
  std::string why;
  lib_ = nb::LoadLibrary(path_, &why);
  if (!lib_) error_ = "cannot load " + nb::LibraryFile(path_) + ": " + why;
}

HotSyncLibrary::~HotSyncLibrary() { nb::FreeLibrary(lib_); }

void* HotSyncLibrary::Optional(const char* symbol) const {
  return lib_ ? nb::GetProcAddress(lib_, symbol) : nullptr;
}

void* HotSyncLibrary::Symbol(const char* symbol) {
  void* fn = nb::GetProcAddress(lib_, symbol);
  if (lib_ && !fn && error_.empty()) error_ = nb::LibraryFile(path_) + " has no " + symbol;
  return fn;
}

SyncLog::SyncLog(const Desktop& desktop) : desktop_(desktop), library_(desktop, kLogLibrary) {
  set_file_ = library_.Get<LogSetFileFn>("LogSetFile");
  add_entry_ = library_.Get<LogAddEntryFn>("LogAddEntry");
  // Optional: a log library without it writes the conduits' entries as they come.
  set_conduit_ = reinterpret_cast<LogSetConduitFn>(library_.Optional("LogSetConduit"));
}

SyncLog::~SyncLog() {
  if (open_) End(false);
}

void SyncLog::Begin(const std::string& file, const std::string& user, const std::string& handheld) {
  if (!usable()) return;
  std::string error;
  if (!KeepLast(nb::MapPath(file), kKeptSynchronisations - 1, &error))
    Complain("cannot drop the oldest synchronisations from the HotSync log: " + error);
  if (set_file_(file.c_str()) != 0) Complain("cannot write the HotSync log " + nb::MapPath(file));
  nb::reg::SetString(nb::reg::Hive::kCurrentUser, ManagerKey(desktop_), kLastLog, file);
  add_entry_(SyncBeginText(user, handheld).c_str(), kActivitySyncBegin, 1);
  open_ = true;
  lines_.clear();
}

void SyncLog::Problem(const std::string& text) {
  // The log library echoes its entries on standard error.
  if (open_) {
    add_entry_(text.c_str(), kActivityProblem, 1);
    lines_.push_back(text);
  } else {
    Complain(text);
  }
}

void SyncLog::Note(const std::string& text) {
  if (open_) {
    add_entry_(text.c_str(), kActivityNote, 1);
    lines_.push_back(text);
  } else {
    Say(text);
  }
}

void SyncLog::Conduit(const ConduitRegistration* entry) {
  if (!set_conduit_) return;
  set_conduit_(entry ? (entry->name + " (" + nb::pdb::FourCCText(entry->creator) + ")").c_str()
                     : nullptr);
}

void SyncLog::End(bool ok) {
  if (!open_) return;
  add_entry_(ok ? "completed" : "finished with errors", kActivitySyncEnd, 1);
  set_file_(nullptr);
  open_ = false;
}

std::string PressReport(const std::string& transcript) {
  std::string out, line;
  bool began = false;
  std::istringstream in(transcript);
  while (std::getline(in, line)) {
    int activity = 0;
    if (!IsLogEcho(line, &activity))
      out += line + "\n";
    else
      began = began || activity == kActivitySyncBegin;
  }
  Desktop desktop;
  std::string error, file, text;
  if (!began || !ReadDesktop(&desktop, &error) || (file = LastLogFile(desktop)).empty() ||
      !nb::ReadWholeFile(nb::MapPath(file), &text))
    return out;
  return out + "\n" + ReadableLog(text, true);
}

std::string DesktopLogFile(const Desktop& desktop) {
  return JoinPath(desktop.data_dir, "HotSync.Log");
}

std::string LastLogFile(const Desktop& desktop) {
  return nb::reg::GetString(nb::reg::Hive::kCurrentUser, ManagerKey(desktop), kLastLog)
      .value_or("");
}

}  // namespace hotsync
