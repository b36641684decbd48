#include "form.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <limits>
#include <stdexcept>

#include "commresp/common_responses.h"
#include "dao/dao.h"
#include "durability.h"
#include "export/export_appraisal.h"
#include "globals.h"
#include "import/downloads_kept.h"
#include "import/import_appraisals.h"
#include "import/imported_files.h"
#include "import/interrupted_downloads.h"
#include "platform/bus.h"
#include "platform/os.h"
#include "platform/ui.h"
#include "tray_status.h"
#include "unfinished_files.h"

namespace valtrix {

namespace {

constexpr char kMenuInbox[] = "Open &Inbox";
constexpr char kMenuErrorLog[] = "Open &error log";
constexpr char kMenuExit[] = "E&xit";

std::string LocalTime() {
  const time_t now = nb::TheOs().Now();
  tm local{};
  localtime_r(&now, &local);
  char text[32];
  strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

}  // namespace

frmValtrix::frmValtrix(nb::ui::EventLoop& loop) : loop_(loop) {}

frmValtrix::~frmValtrix() {
  if (!unloaded_ && instance_) Unload();
}

bool frmValtrix::Form_Load(const std::string& program_folder) {
  instance_ = InstanceLock::Acquire(program_folder);
  if (!instance_) return false;

  Folders folders = MakeFolders(program_folder);
  CreateFolders(folders);
  SetAppFolders(folders);
  RemoveUnfinishedExports();

  // The control listens before the form's window appears: a program that finds the form
  // may start a synchronisation at once.
  sync_stage_ = kStageBegin;
  sync_ctl_ = std::make_unique<syncctl::SyncCtl>(
      [this](int code, long param) { HandleSyncEvent(code, param); });
  loop_.Watch(sync_ctl_->fd(), [this] { sync_ctl_->Pump(0); });
  sync_ctl_->SetEnabled(true);

  window_ = nb::bus::Window::Create(kFormWindowClass, kFormWindowTitle,
                                    [this](uint32_t msg, uintptr_t, intptr_t lparam) {
                                      if (msg == nb::bus::kCloseMessage) mPopExit_Click();
                                      if (msg == kTrayCallbackMessage)
                                        Form_MouseMove(0, 0, double(lparam), 0);
                                    });
  if (!window_) throw std::runtime_error("the form cannot open its window on the message bus");
  loop_.Watch(window_->fd(), [this] { window_->Pump(0); });

  // The form is never shown: the icon is all a person sees.
  icon_added_ = loop_.AddTrayIcon(
      "Valtrix", [this](int message) { Form_MouseMove(0, 0, double(message), 0); });
  ShowStatus();
  return true;
}

void frmValtrix::Form_MouseMove(int, int, double x, double) {
  // The form's scale is pixels, so the icon's mouse message is x itself.
  if (int(x) != nb::ui::kRightButtonUp) return;
  const std::string chosen =
      loop_.ShowMenu("&SysTray", {{StatusFor(sync_stage_, stopped_at_).tip, false},
                                  {LastSyncText(last_sync_), false},
                                  {},
                                  {kMenuInbox},
                                  {kMenuErrorLog},
                                  {},
                                  {kMenuExit}});
  if (chosen == kMenuInbox) mPopInbox_Click();
  if (chosen == kMenuErrorLog) mPopErrorLog_Click();
  if (chosen == kMenuExit) mPopExit_Click();
}

void frmValtrix::mPopInbox_Click() { Open(AppFolders().inbox); }

void frmValtrix::mPopErrorLog_Click() {
  const std::string log = AppFolders().program + "/errorlog.txt";
  if (!nb::Exists(log)) {
    nb::ui::MessageBox(kFormWindowTitle, "No error has been logged: there is no " + log,
                       nb::ui::Icon::kInformation);
    return;
  }
  Open(log);
}

void frmValtrix::Open(const std::string& path) {
  std::string error;
  if (!nb::ui::OpenWithDesktop(path, &error))
    nb::ui::MessageBox(kFormWindowTitle, "Cannot open " + path + ": " + error,
                       nb::ui::Icon::kError);
}

void frmValtrix::Form_Resize() {
  if (window_state_ == 1) window_state_ = 0;  // hidden again at once
}

void frmValtrix::Form_Unload(bool&) {
  if (icon_added_) loop_.DeleteTrayIcon();
  icon_added_ = false;
}

void frmValtrix::mPopExit_Click() { Unload(); }

void frmValtrix::Unload() {
  if (unloaded_) return;
  bool cancel = false;
  Form_Unload(cancel);
  unloaded_ = true;
  if (sync_ctl_) sync_ctl_->SetEnabled(false);
  loop_.Quit();
}

void frmValtrix::RequestUpload(size_t position) {
  sync_ctl_->RequestUpload(AppFolders().handheld_tables[position], kAppCreator, kDevicePlugin, 0, 0,
                           0);
  requests_.push_back({true, position});
}

void frmValtrix::RequestDownload(size_t position) {
  sync_ctl_->RequestDownload(AppFolders().handheld_tables[position], kAppCreator, kDevicePlugin, 0,
                             0, 0);
  requests_.push_back({false, position});
}

bool frmValtrix::TakeDone(Request& done) {
  for (auto it = requests_.begin(); it != requests_.end(); ++it) {
    const std::string& path = AppFolders().handheld_tables[it->position];
    if (it->upload ? sync_ctl_->DoneIsUpload(path) : sync_ctl_->DoneIsDownload(path)) {
      done = *it;
      requests_.erase(it);
      return true;
    }
  }
  return false;
}

void frmValtrix::ShowStatus() {
  TrayStatus status = StatusFor(sync_stage_, stopped_at_);
  if (status.tip != shown_tip_) loop_.SetTrayToolTip(status.tip);
  if (status.busy != shown_busy_) loop_.SetTrayBusy(status.busy);
  shown_tip_ = status.tip;
  shown_busy_ = status.busy;
}

void frmValtrix::HandleSyncEvent(int code, long param) {
  // The icon follows the stages; a synchronisation of ours starting clears the last result.
  struct ShowAfter {
    frmValtrix* form;
    ~ShowAfter() { form->ShowStatus(); }
  } show_after{this};
  if (code == 1 && sync_ctl_->SyncCreatorId() == kAppCreator) {
    stopped_at_.clear();
    last_sync_ = LastSync{};
    last_sync_.ran = true;
  }
  try {
    OnSyncEvent(code, param);
  } catch (const std::exception& e) {
    stopped_at_ = sync_stage_;
    if (last_sync_.stopped_at.empty()) {
      last_sync_.stopped_at = sync_stage_;
      last_sync_.failure = e.what();
      last_sync_.ended = LocalTime();
    }
    std::string message =
        std::string("Synchronisation stopped at stage ") + sync_stage_ + ": " + e.what();
    std::fprintf(stderr, "valtrix: %s\n", message.c_str());
    if (dynamic_cast<const LoggedFailure*>(&e)) return;
    try {
      LogError(message);
    } catch (const std::exception& log_failure) {
      std::fprintf(stderr, "valtrix: %s\n", log_failure.what());
    }
  }
}

void frmValtrix::OnSyncEvent(int code, long param) {
  if (sync_ctl_->SyncCreatorId() != kAppCreator) return;
  switch (code) {
    case 2:
      SettleDownloadsSent(false);
      if (last_sync_.stopped_at.empty()) last_sync_.ended = LocalTime();
      sync_stage_ = kStageEnd;
      Progress("stage End: the synchronisation has ended");
      return;
    case 1:
      SettleDownloadsSent(true);
      requests_.clear();
      download_failed_ = false;
      RemoveUnfinishedTableFiles();
      RequestUpload(kAprInfo);
      pending_transfers_ = 1;
      sync_stage_ = kStageSettingsPending;
      Progress("stage Settings: AprInfo requested from the handheld");
      return;
    case 3:
      break;
    default:
      return;
  }
  // Other desktop programs' commands run in the same synchronisation: only ours count.
  Request done{};
  if (!TakeDone(done)) return;
  pending_transfers_ = int16_t(pending_transfers_ - 1);
  if (param == 0) {
    const std::string table =
        std::filesystem::path(AppFolders().handheld_tables[done.position]).stem().string();
    if (done.upload) {
      // The desktop's copy is older than the handheld's: exporting from it or sending it
      // back would lose the appraiser's changes. Nothing more of ours counts.
      requests_.clear();
      throw std::runtime_error("upload of table " + table + " from the handheld failed");
    }
    LogError("Download of table " + table + " to the handheld failed");
    download_failed_ = true;
  }
  if (pending_transfers_ != 0) return;
  if (sync_stage_ == kStageTablesDown && !download_failed_) NoteDownloadsSent();
  if (sync_stage_ == kStageTablesUp) {
    // As the handheld holds them: what the downloads change is measured against this.
    on_handheld_ = ReadAppraisalRows();
    RepairInterruptedDownloads(on_handheld_);
    Progress("tables arrived: exporting the marked appraisals");
    ExportAppraisals();
    SyncTables();  // the marks cleared, and rows a repair put back
    sync_stage_ = kStageExported;
    Progress("stage B>C: export done");
  }
  if (sync_stage_ == kStageExported) {
    RecoverImportedFiles();
    // Set before the first row is stored: a mark that cannot be written then stops the
    // stage with the Outbox and the tables as they were.
    NoteDownloadsStarting(on_handheld_);
    ImportAppraisals();
    ImportCommonResponses();
    SyncTables();  // before the downloads mark counts the imported rows
    sync_stage_ = kStageImported;
    Progress("stage C>B: import done");
  }
  if (sync_stage_ == kStageImported) {
    NoteDownloadsStarting(on_handheld_);  // now with the imported rows
    on_handheld_.clear();
    for (size_t i = kAprSubj; i <= kAprInfo; ++i) RequestDownload(i);
    pending_transfers_ = 9;
    if (CommonResponsesPending) {
      for (size_t i = kApk01; i <= kApkLg; ++i) RequestDownload(i);
      pending_transfers_ = 13;
    }
    sync_stage_ = kStageTablesDown;
    Progress("stage B>A: " + std::to_string(pending_transfers_) +
             " tables requested for the handheld");
  } else if (sync_stage_ == kStageSettingsPending) {
    RecoverCommonResponses();
    CommonResponsesPending = nb::Exists(AppFolders().outbox + "commresp.dat");
    for (size_t i = kAprSubj; i <= kAprVC; ++i) RequestUpload(i);
    pending_transfers_ = 8;
    if (CommonResponsesPending) {
      for (size_t i = kApk01; i <= kApkLg; ++i) RequestUpload(i);
      pending_transfers_ = 12;
    }
    sync_stage_ = kStageTablesUp;
    Progress("stage A>B: " + std::to_string(pending_transfers_) +
             " tables requested from the handheld");
  }
}

void frmValtrix::ExportAppraisals() {
  dao::Database db = dao::Database::Open(AppFolders().system);
  dao::Recordset marked = db.Where("AprSubj", "SyncX", dao::Value::Text("X"));
  ExportSession session(db);
  int exported = 0;
  if (!marked.IsBOF() && !marked.IsEOF()) {
    marked.MoveFirst();
    while (!marked.IsEOF()) {
      int32_t id = marked.Get("AprID").ToInt();
      if (id < std::numeric_limits<int16_t>::min() || id > std::numeric_limits<int16_t>::max())
        throw std::runtime_error("AprID " + std::to_string(id) + " is out of range");
      session.Export(int16_t(id));
      marked.MoveNext();
      ++exported;
    }
  }
  session.Finish();
  last_sync_.exported = exported;
  marked.Close();
  db.Close();
}

void frmValtrix::ImportAppraisals() {
  std::vector<std::string> names;
  std::vector<int16_t> ids;
  try {
    valtrix::ImportAppraisals(names, &ids);
  } catch (const std::exception& e) {
    // Logged by the import. The files before the failing one go to the handheld with their
    // rows; it and those after it wait in the Outbox.
    std::fprintf(stderr, "valtrix: %s\n", e.what());
  }
  // Out of the Outbox before their rows are queued: a kill after the queueing must not
  // leave them there to be imported twice.
  for (size_t i = 0; i < names.size(); ++i) {
    try {
      KeepImportedFile(names[i], ids[i]);
    } catch (const std::exception& e) {
      // A file left in the Outbox is imported again next time, so its rows, and those of the
      // files after it, are taken back; the files before it go down with their rows.
      LogError("appraisal file " + AppFolders().outbox + names[i] +
               " not imported: it could not be moved out of the Outbox (" + e.what() +
               "); it and the files after it wait there for the next synchronisation");
      TakeBackAppraisals(std::vector<int16_t>(ids.begin() + long(i), ids.end()));
      return;
    }
    ++last_sync_.imported;
  }
}

}  // namespace valtrix
