#include "import/imported_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "dao/dao.h"
#include "durability.h"
#include "globals.h"
#include "platform/durable_folder.h"
#include "platform/os.h"
#include "platform/profile.h"

namespace valtrix {
namespace {

constexpr char kCommonResponses[] = "commresp.dat";

std::string KeptFolder() { return AppFolders().system + "Imported/"; }

// Files are moved into and out of the folder and deleted there: a link planted in its place
// would carry them elsewhere, or have us delete another folder's files.
bool KeptFolderExists() {
  const std::string folder = KeptFolder();
  struct stat st;
  if (nb::TheOs().Lstat(folder.substr(0, folder.size() - 1).c_str(), &st) != 0) return false;
  if (!S_ISDIR(st.st_mode))
    throw std::runtime_error("the folder " + folder +
                             " is a link or a file, not a folder: nothing is moved into or out of "
                             "it until it is removed");
  return true;
}

void Move(const std::string& from, const std::string& to) {
  if (nb::TheOs().Rename(from.c_str(), to.c_str()) != 0)
    throw std::runtime_error("cannot move " + from + " to " + to + ": " + std::strerror(errno));
}

void MoveToKept(const std::string& from, const std::string& name) {
  const std::string folder = KeptFolder();
  if (!KeptFolderExists() && !nb::MakeFolderDurably(folder, 0777))
    throw std::runtime_error("cannot create the folder " + folder + ": " + std::strerror(errno));
  // The rows the file brought are on the disk before the file leaves the Outbox.
  SyncTables();
  Move(from, folder + name);
  nb::Profile::SyncFolder(folder);
  nb::Profile::SyncFolder(AppFolders().outbox);
}

std::vector<std::string> KeptFiles() {
  std::vector<std::string> names;
  if (!KeptFolderExists()) return names;
  std::vector<std::string> entries;
  nb::TheOs().ListFolder(KeptFolder().c_str(), &entries);
  for (const std::string& entry : entries) {
    if (entry[0] != '.') names.push_back(entry);
  }
  return names;
}

std::string Trimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// Whether AprSubj holds the appraisal the file was imported as.
bool OnHandheld(dao::Database& db, int16_t apr_id, const std::string& path) {
  const std::string number =
      Trimmed(nb::Profile::Load(path).Get("AppraisalData", "FORM_FILE_NUMBER.1").substr(0, 8));
  dao::Recordset subject = db.Where("AprSubj", "APRID", dao::Value::Number(apr_id));
  bool found = false;
  if (!subject.IsBOF() && !subject.IsEOF()) {
    subject.MoveFirst();
    for (; !subject.IsEOF() && !found; subject.MoveNext())
      found = Trimmed(subject.Get("FileNumber").ToText()) == number;
  }
  subject.Close();
  return found;
}

}  // namespace

void KeepImportedFile(const std::string& name, int16_t apr_id) {
  MoveToKept(AppFolders().outbox + name, std::to_string(apr_id) + "-" + name);
}

void KeepCommonResponses() { MoveToKept(AppFolders().outbox + kCommonResponses, kCommonResponses); }

void RecoverCommonResponses() {
  const std::string kept = KeptFolder() + kCommonResponses;
  struct stat st;
  if (!KeptFolderExists() || nb::TheOs().Stat(kept.c_str(), &st) != 0) return;
  const std::string waiting = AppFolders().outbox + kCommonResponses;
  if (nb::TheOs().Stat(waiting.c_str(), &st) == 0) {
    nb::TheOs().Unlink(kept.c_str());
    LogError("Recovered: common responses of an interrupted synchronisation superseded by " +
             waiting);
    return;
  }
  Move(kept, waiting);
  LogError("Recovered: common responses of an interrupted synchronisation applied again");
}

void RecoverImportedFiles() {
  std::vector<std::string> kept = KeptFiles();
  if (kept.empty()) return;
  dao::Database db = dao::Database::Open(AppFolders().system);
  for (const std::string& file : kept) {
    if (file == kCommonResponses) continue;
    const std::string path = KeptFolder() + file;
    const size_t dash = file.find('-');
    char* end = nullptr;
    const long id = dash == std::string::npos ? 0 : std::strtol(file.c_str(), &end, 10);
    if (id > 0 && end == file.c_str() + dash && OnHandheld(db, int16_t(id), path)) {
      nb::TheOs().Unlink(path.c_str());
      LogError("Recovered: " + file.substr(dash + 1) + " had reached the handheld as appraisal " +
               std::to_string(id) + " in an interrupted synchronisation");
      continue;
    }
    const std::string name = dash == std::string::npos ? file : file.substr(dash + 1);
    struct stat st;
    if (nb::TheOs().Stat((AppFolders().outbox + name).c_str(), &st) == 0) {
      nb::TheOs().Unlink(path.c_str());
      LogError("Recovered: " + name + " of an interrupted synchronisation superseded by a new one");
      continue;
    }
    Move(path, AppFolders().outbox + name);
    LogError("Recovered: " + name +
             " had not reached the handheld in an interrupted synchronisation; imported again");
  }
  db.Close();
}

void ForgetImportedFiles() {
  const std::vector<std::string> kept = KeptFiles();
  for (const std::string& file : kept) nb::TheOs().Unlink((KeptFolder() + file).c_str());
  // Gone for good before the note that says so goes: back after a power cut, a kept file
  // would be taken for one that never reached the handheld.
  if (!kept.empty()) nb::Profile::SyncFolder(KeptFolder());
}

}  // namespace valtrix
