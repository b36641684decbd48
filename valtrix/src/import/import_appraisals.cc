#include "import/import_appraisals.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "dao/dao.h"
#include "globals.h"
#include "import/appraisal_file.h"
#include "import/reader_lists.h"
#include "import/readers.h"
#include "platform/os.h"

namespace valtrix {

namespace import {

namespace {

// The error log gets the failure too; a log that cannot be written must not hide it.
void LogImportFailure(const std::string& what) {
  try {
    LogError("import of appraisals stopped: " + what);
  } catch (const std::exception&) {
  }
}

int16_t NextAprID(const dao::Value& max) {
  if (max.is_null()) return 1;
  double highest = max.number();
  if (!(highest < 32766.5 && highest >= -32769.5)) {
    throw std::runtime_error("no AprID left for a new appraisal: the highest AprID in AprSubj is " +
                             max.ToText() + " and an AprID cannot exceed 32767; nothing stored");
  }
  return static_cast<int16_t>(max.ToInt() + 1);
}

// The eight new rows: stored all together or not at all.
class NewRows {
 public:
  explicit NewRows(dao::Database& db) {
    for (const ReaderList& reader : ReaderLists()) {
      rows_.push_back(db.Empty(std::string(reader.table_name)));
    }
  }
  NewRows(const NewRows&) = delete;
  NewRows& operator=(const NewRows&) = delete;

  ~NewRows() {
    if (committed_) return;
    for (size_t i = 0; i < rows_.size(); ++i) {
      try {
        if (i < stored_) {
          Unstore(rows_[i]);
        } else if (pending_ > i) {
          rows_[i].CancelUpdate();
        }
      } catch (const std::exception&) {
        // The failure that got us here is the one reported.
      }
    }
  }

  void Begin(int16_t apr_id) {
    apr_id_ = apr_id;
    for (dao::Recordset& row : rows_) {
      row.AddNew();
      ++pending_;
      row.Set("AprID", dao::Value::Number(apr_id));
    }
  }

  dao::Recordset& operator[](size_t i) { return rows_[i]; }

  void Store() {
    for (dao::Recordset& row : rows_) {
      row.Update();
      ++stored_;
    }
    committed_ = true;
    for (dao::Recordset& row : rows_) row.Close();
  }

 private:
  // Takes back a row stored before a later table failed to store its own.
  void Unstore(dao::Recordset& row) {
    if (row.RecordCount() == 0) return;
    row.MoveLast();  // a stored new row joins the end of its selection
    if (row.Get("AprID") == dao::Value::Number(apr_id_)) row.Delete();
  }

  std::vector<dao::Recordset> rows_;
  size_t pending_ = 0;
  size_t stored_ = 0;
  int16_t apr_id_ = 0;
  bool committed_ = false;
};

}  // namespace

int16_t ImportSession::Import(const AppraisalFile& file) {
  const std::string about = "appraisal file " + file.path() + ": ";
  try {
    if (!db_) db_.emplace(dao::Database::Open(AppFolders().system));
    dao::Database& db = *db_;
    if (!highest_) highest_ = db.Max("AprSubj", "AprID");
    int16_t apr_id = NextAprID(*highest_);
    NewRows rows(db);
    rows.Begin(apr_id);
    std::string form;
    RunStep(FormStep(), "AprSubj", rows[0], file, form);
    RunStep(FileNumberStep(), "AprSubj", rows[0], file, form);
    for (size_t i = 0; i < kReaderCount; ++i) RunReader(ReaderLists()[i], rows[i], file);
    rows.Store();
    highest_ = dao::Value::Number(apr_id);
    return apr_id;
  } catch (const dao::Error& e) {
    LogImportFailure(about + e.what());
    throw dao::Error(about + e.what());
  } catch (const std::exception& e) {
    LogImportFailure(about + e.what());
    throw std::runtime_error(about + e.what());
  }
}

int16_t ImportAppraisalFile(const AppraisalFile& file) { return ImportSession().Import(file); }

}  // namespace import

namespace {

bool IsAppraisalFileName(const std::string& name) {
  if (name.size() < 4) return false;
  std::string ext = name.substr(name.size() - 4);
  for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return ext == ".VXA";
}

std::vector<std::string> OutboxFiles(const std::string& folder) {
  std::vector<std::string> names;
  if (IsLink(folder))
    throw std::runtime_error("the Outbox folder " + folder +
                             " is a link, not a folder: nothing is imported from it");
  nb::Os& os = nb::TheOs();
  std::vector<std::string> entries;
  if (os.ListFolder(folder.c_str(), &entries) != 0 && errno != ENOENT)
    throw std::runtime_error("cannot list the Outbox folder " + folder + ": " +
                             std::strerror(errno));
  for (const std::string& entry : entries) {
    struct stat st;
    if (os.Stat((folder + "/" + entry).c_str(), &st) == 0 && S_ISREG(st.st_mode))
      names.push_back(entry);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Deleting without force: a file without write permission counts as read-only and stays.
void CheckDeletable(const std::string& path) {
  const std::string failed = "appraisal file " + path + " not imported: ";
  struct stat st;
  if (nb::TheOs().Stat(path.c_str(), &st) != 0)
    throw std::runtime_error(failed + std::strerror(errno));
  if (!(st.st_mode & S_IWUSR))
    throw std::runtime_error(failed +
                             "the file is read-only, so it could not be deleted once imported");
}

}  // namespace

namespace {

int16_t ImportOne(import::ImportSession& session, const std::string& name) {
  const std::string path = AppFolders().outbox + name;
  std::optional<import::LoadedAppraisalFile> file;
  try {
    file.emplace(path);
  } catch (const std::exception& e) {
    import::LogImportFailure(e.what());
    throw;
  }
  return session.Import(*file);
}

}  // namespace

int16_t ImportAppraisal(const std::string& name) {
  import::ImportSession session;
  return ImportOne(session, name);
}

void ImportAppraisals(std::vector<std::string>& imported, std::vector<int16_t>* ids) {
  const std::string& outbox = AppFolders().outbox;
  std::vector<std::string> names;
  try {
    names = OutboxFiles(outbox);
  } catch (const std::exception& e) {
    import::LogImportFailure(e.what());
    throw;
  }
  import::ImportSession session;
  for (const std::string& name : names) {
    if (!IsAppraisalFileName(name)) continue;
    try {
      CheckDeletable(outbox + name);
    } catch (const std::exception& e) {
      import::LogImportFailure(e.what());
      throw;
    }
    int16_t apr_id = ImportOne(session, name);
    imported.push_back(name);
    if (ids) ids->push_back(apr_id);
    Progress("imported " + name + " as appraisal " + std::to_string(apr_id));
  }
}

void TakeBackAppraisals(const std::vector<int16_t>& ids) {
  dao::Database db = dao::Database::Open(AppFolders().system);
  for (auto id = ids.rbegin(); id != ids.rend(); ++id) {
    for (const import::ReaderList& reader : import::ReaderLists()) {
      dao::Recordset rs =
          db.Where(std::string(reader.table_name), "AprID", dao::Value::Number(*id));
      if (rs.RecordCount() == 0) continue;
      rs.MoveLast();
      rs.Delete();
    }
  }
  db.Close();
}

void DeleteAppraisalFiles(const std::vector<std::string>& names) {
  std::string failed;
  for (const std::string& name : names) {
    const std::string path = AppFolders().outbox + name;
    if (nb::TheOs().Unlink(path.c_str()) == 0 || errno == ENOENT) continue;
    failed = "appraisal file " + path + " imported but not deleted: " + std::strerror(errno);
    try {
      LogError(failed);
    } catch (const std::exception&) {
    }
  }
  if (!failed.empty()) throw std::runtime_error(failed);
}

void ImportAppraisals() {
  std::vector<std::string> imported;
  ImportAppraisals(imported);
  DeleteAppraisalFiles(imported);
}

}  // namespace valtrix
