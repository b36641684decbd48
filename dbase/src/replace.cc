#include "dbase/replace.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <initializer_list>

#include "dbase/memo.h"
#include "platform/os.h"

namespace dbase {
namespace {

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
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

}  // namespace dbase
