// frmValtrix: the program's one hidden form. It hosts the synchronisation control and the
// tray icon, and drives one synchronisation of the appraisal application through its
// stages as the conduit's notifications arrive.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "import/interrupted_downloads.h"
#include "platform/event_loop.h"
#include "single_instance.h"
#include "syncctl/syncctl.h"
#include "tray_status.h"

namespace nb::bus {
class Window;
}

namespace valtrix {

// Stages of one synchronisation.
inline constexpr const char kStageBegin[] = "Begin";
inline constexpr const char kStageSettingsPending[] = "Settings";  // AprInfo requested
inline constexpr const char kStageTablesUp[] = "A>B";
inline constexpr const char kStageExported[] = "B>C";
inline constexpr const char kStageImported[] = "C>B";
inline constexpr const char kStageTablesDown[] = "B>A";
inline constexpr const char kStageEnd[] = "End";

inline constexpr const char kAppCreator[] = "vXA1";
inline constexpr const char kDevicePlugin[] = "pdbdevice.dll";

// The bus window of the form: a close request unloads it as Exit does, and the tray's
// callback message (512) carries the icon's mouse message in its lparam.
inline constexpr const char kFormWindowClass[] = "frmValtrix";
inline constexpr const char kFormWindowTitle[] = "Valtrix";
inline constexpr uint32_t kTrayCallbackMessage = 512;

class frmValtrix {
 public:
  explicit frmValtrix(nb::ui::EventLoop& loop);
  ~frmValtrix();

  // Start-up. False when another instance runs for this program folder (end at once).
  // Throws when a folder cannot be created.
  bool Form_Load(const std::string& program_folder);
  void Form_MouseMove(int button, int shift, double x, double y);
  void Form_Resize();
  void Form_Unload(bool& cancel);
  void mPopExit_Click();
  void mPopInbox_Click();
  void mPopErrorLog_Click();

  // The control's event.
  void OnSyncEvent(int code, long param);
  void ExportAppraisals();
  void ImportAppraisals();

  const std::string& SyncStage() const { return sync_stage_; }
  int16_t PendingTransfers() const { return pending_transfers_; }
  bool Unloaded() const { return unloaded_; }

 private:
  struct Request {
    bool upload;
    size_t position;  // in HandheldTables
  };

  void RequestUpload(size_t position);
  void RequestDownload(size_t position);
  // Takes the finished command out of requests_ when it is one of them; false when it is
  // another program's.
  bool TakeDone(Request& done);
  // Deletes the appraisal files whose rows have been queued for the handheld.
  // Runs the event; a failure the flow does not catch is reported and the program waits
  // for the next synchronisation.
  void HandleSyncEvent(int code, long param);
  void Unload();
  // Sets the tray icon's tooltip and picture for the current stage, when they changed.
  void ShowStatus();
  // Opens what the menu offers with the desktop's opener; a failure shows in a box.
  void Open(const std::string& path);

  nb::ui::EventLoop& loop_;
  std::unique_ptr<InstanceLock> instance_;
  std::unique_ptr<syncctl::SyncCtl> sync_ctl_;
  std::unique_ptr<nb::bus::Window> window_;
  std::string sync_stage_;
  int16_t pending_transfers_ = 0;
  std::vector<Request> requests_;  // of the current stage, not yet done
  AppraisalRows on_handheld_;      // the appraisal tables as they arrived
  std::string stopped_at_;         // stage of this or the last synchronisation's failure
  LastSync last_sync_;             // for the menu
  std::string shown_tip_;
  bool shown_busy_ = false;
  bool download_failed_ = false;  // in this synchronisation
  bool icon_added_ = false;
  bool unloaded_ = false;
  int window_state_ = 0;  // 1 minimised
};

}  // namespace valtrix
