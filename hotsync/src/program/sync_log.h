// The HotSync log of one synchronisation as the hotsync program keeps it, through HotSync's
// log library in the HotSync folder (the library the conduits bind, so their entries land
// in the same file). Each synchronisation is one block in the log of the user being
// synchronised, or, when no user can be found for the handheld, in the desktop's own log
// in the data folder. Every reason a synchronisation fails goes into the block, so a
// resident HotSync Manager, whose output nobody watches, leaves it where users look.
#pragma once

#include <string>
#include <vector>

#include "desktop.h"
#include "hotsync/log.h"

namespace hotsync {

// A HotSync library from the HotSync folder, the same file the conduits bind, so they share
// its state with us; error() says why it or a symbol is missing.
class HotSyncLibrary {
 public:
  HotSyncLibrary(const Desktop& desktop, const char* name);
  ~HotSyncLibrary();
  HotSyncLibrary(const HotSyncLibrary&) = delete;
  HotSyncLibrary& operator=(const HotSyncLibrary&) = delete;
  template <typename F>
  F Get(const char* symbol) {
    return reinterpret_cast<F>(Symbol(symbol));
  }
  // Null, and no error, when the library lacks it.
  void* Optional(const char* symbol) const;
  const std::string& error() const { return error_; }

 private:
  void* Symbol(const char* symbol);
  std::string path_, error_;
  void* lib_ = nullptr;
};

class SyncLog {
 public:
  explicit SyncLog(const Desktop& desktop);
  // Ends an open block as failed.
  ~SyncLog();
  SyncLog(const SyncLog&) = delete;
  SyncLog& operator=(const SyncLog&) = delete;

  // False, with the reason in error(), when the log library cannot be used.
  bool usable() const { return set_file_ && add_entry_; }
  const std::string& error() const { return library_.error(); }
  // Opens the block in `file` (a Windows path) and makes it the one "hotsync log" shows.
  void Begin(const std::string& file, const std::string& user, const std::string& handheld);
  // A failure, and progress worth keeping: into the open block (the log library echoes
  // each entry on standard error), before it on standard error or output.
  void Problem(const std::string& text);
  void Note(const std::string& text);
  // The conduit about to run (null: none any more), named in its entries.
  void Conduit(const ConduitRegistration* entry);
  // A line only for the handheld's own log.
  void Summary(const std::string& text) { lines_.push_back(text); }
  void End(bool ok);
  // The problems, notes and summaries of the open or last block, for the handheld.
  const std::vector<std::string>& lines() const { return lines_; }

 private:
  const Desktop& desktop_;
  HotSyncLibrary library_;
  LogSetFileFn set_file_ = nullptr;
  LogAddEntryFn add_entry_ = nullptr;
  LogSetConduitFn set_conduit_ = nullptr;
  bool open_ = false;
  std::vector<std::string> lines_;
};

// How many synchronisations a log keeps: the oldest go as a new one begins.
constexpr int kKeptSynchronisations = 100;

// What a press shows of the transcript of its synchronisation: the messages without the log
// library's echo of each entry, then, when the synchronisation opened its block, that block
// as "hotsync log --last" shows it.
std::string PressReport(const std::string& transcript);

// The desktop's own log, for synchronisations whose user is unknown.
std::string DesktopLogFile(const Desktop& desktop);
// The log file of the last synchronisation (Windows path); empty before the first.
std::string LastLogFile(const Desktop& desktop);

}  // namespace hotsync
