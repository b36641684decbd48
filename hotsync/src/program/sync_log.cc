#include "sync_log.h"

#include "log_view.h"
#include "platform/library.h"
#include "platform/prefix.h"
#include "platform/registry.h"

namespace hotsync {
namespace {

constexpr char kLastLog[] = "LastLogFile";

std::string ManagerKey(const Desktop& desktop) { return desktop.keys.user + "\\HotSync Manager"; }

}  // namespace

HotSyncLibrary::HotSyncLibrary(const Desktop& desktop, const char* name)
    : path_(JoinPath(desktop.hotsync_dir, name)) {
  std::string why;
  lib_ = nb::LoadLibrary(path_, &why);
  if (!lib_) error_ = "cannot load " + nb::LibraryFile(path_) + ": " + why;
}

HotSyncLibrary::~HotSyncLibrary() { nb::FreeLibrary(lib_); }

void* HotSyncLibrary::Symbol(const char* symbol) {
  void* fn = nb::GetProcAddress(lib_, symbol);
  if (lib_ && !fn && error_.empty()) error_ = nb::LibraryFile(path_) + " has no " + symbol;
  return fn;
}

SyncLog::SyncLog(const Desktop& desktop) : desktop_(desktop), library_(desktop, kLogLibrary) {
  set_file_ = library_.Get<LogSetFileFn>("LogSetFile");
  add_entry_ = library_.Get<LogAddEntryFn>("LogAddEntry");
}

SyncLog::~SyncLog() {
  if (open_) End(false);
}

void SyncLog::Begin(const std::string& file, const std::string& user, const std::string& handheld) {
  if (!usable()) return;
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

void SyncLog::End(bool ok) {
  if (!open_) return;
  add_entry_(ok ? "completed" : "finished with errors", kActivitySyncEnd, 1);
  set_file_(nullptr);
  open_ = false;
}

std::string DesktopLogFile(const Desktop& desktop) {
  return JoinPath(desktop.data_dir, "HotSync.Log");
}

std::string LastLogFile(const Desktop& desktop) {
  return nb::reg::GetString(nb::reg::Hive::kCurrentUser, ManagerKey(desktop), kLastLog)
      .value_or("");
}

}  // namespace hotsync
