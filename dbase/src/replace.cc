#include "dbase/replace.h"

#include <strings.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <initializer_list>
#include <set>

#include "dbase/memo.h"
#include "platform/os.h"

namespace dbase {
namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return nb::TheOs().Lstat(path.c_str(), &st) == 0;
}

bool Failed(const std::string& path, std::string* error,
            std::initializer_list<std::string> remove = {}) {
  const int err = errno;
  for (const std::string& file : remove) nb::TheOs().Unlink(file.c_str());
  *error = "cannot replace " + path + ": " + std::strerror(err);
  errno = err;
  return false;
}

// The staged table file into place once the memo file's rename is on disk: a power cut
// must not keep the one and lose the other.
bool InstallTable(const std::string& table_path, std::string* error) {
  const std::string folder = nb::FolderOf(table_path);
  if (!nb::SyncFolder(folder) ||
      nb::TheOs().Rename(StagedPathFor(table_path).c_str(), table_path.c_str()) != 0)
    return Failed(table_path, error);
  return nb::SyncFolder(folder) || Failed(table_path, error);
}

}  // namespace

std::string StagedPathFor(const std::string& path) { return path + ".~new"; }

bool CommitReplacement(const std::string& table_temp, const std::string& memo_temp,
                       const std::string& table_path, std::string* error) {
  nb::Os& os = nb::TheOs();
  const std::string folder = nb::FolderOf(table_path);
  if (memo_temp.empty()) {
    if (os.Rename(table_temp.c_str(), table_path.c_str()) != 0)
      return Failed(table_path, error, {table_temp});
    return nb::SyncFolder(folder) || Failed(table_path, error);
  }
  const std::string memo = MemoPathFor(table_path);
  const std::string staged = StagedPathFor(table_path), staged_memo = StagedPathFor(memo);
  // Each rename is on disk before the next. Giving up removes the staged table file before
  // the staged memo file, which is nothing on its own.
  if (os.Rename(memo_temp.c_str(), staged_memo.c_str()) != 0)
    return Failed(memo, error, {table_temp, memo_temp});
  if (!nb::SyncFolder(folder)) return Failed(memo, error, {table_temp, staged_memo});
  if (os.Rename(table_temp.c_str(), staged.c_str()) != 0)
    return Failed(table_path, error, {table_temp, staged_memo});
  if (!nb::SyncFolder(folder)) return Failed(table_path, error, {staged, staged_memo});
  // Nothing is in place yet: the replacement can still be given up.
  if (os.Rename(staged_memo.c_str(), memo.c_str()) != 0)
    return Failed(memo, error, {staged, staged_memo});
  if (InstallTable(table_path, error)) return true;
  if (Exists(staged)) *error += "; the new table is put in place when the table is next opened";
  return false;
}

bool FinishPendingReplacement(const std::string& table_path, std::string* note,
                              std::string* error) {
  note->clear();
  nb::Os& os = nb::TheOs();
  const std::string memo = MemoPathFor(table_path);
  const std::string staged = StagedPathFor(table_path), staged_memo = StagedPathFor(memo);
  if (Exists(staged)) {
    if (Exists(staged_memo) && os.Rename(staged_memo.c_str(), memo.c_str()) != 0)
      return Failed(memo, error);
    if (!InstallTable(table_path, error)) return false;
    *note = "Recovered: put the new " + table_path + " in place, left by an interrupted write";
    return true;
  }
  if (Exists(staged_memo) && os.Unlink(staged_memo.c_str()) == 0)
    *note = "Recovered: removed " + staged_memo + ", left by an interrupted write";
  return true;
}

std::vector<std::string> FinishPendingReplacementsIn(const std::string& folder) {
  const std::string suffix = StagedPathFor("");
  std::vector<std::string> names, lines;
  nb::TheOs().ListFolder(folder.c_str(), &names);
  std::set<std::string> tables;
  for (const std::string& name : names) {
    if (name.size() <= suffix.size() ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
      continue;
    std::string table = name.substr(0, name.size() - suffix.size());
    // A staged memo file belongs to the table of its stem, whatever that table's case.
    if (table.size() > 4 && !strcasecmp(table.c_str() + table.size() - 4, ".dbt")) {
      const std::string stem = table.substr(0, table.size() - 4);
      table = stem + ".dbf";
      for (const std::string& other : names)
        if (!strcasecmp(other.c_str(), (stem + ".dbf").c_str())) table = other;
    }
    tables.insert(table);
  }
  for (const std::string& table : tables) {
    std::string note, error;
    if (!FinishPendingReplacement(folder + "/" + table, &note, &error))
      lines.push_back(error);
    else if (!note.empty())
      lines.push_back(note);
  }
  return lines;
}

}  // namespace dbase
