#include "manager_tray.h"

#include <cctype>
#include <ctime>

#include "desktop.h"
#include "hotsync/conduit_registry.h"
#include "log_view.h"
#include "pdbfile/bytes.h"
#include "platform/os.h"
#include "platform/prefix.h"
#include "platform/ui.h"
#include "sync_log.h"

namespace hotsync {
namespace {

using Link = LinkListeners::Link;

constexpr char kViewLog[] = "View Log";
constexpr char kExit[] = "Exit";
constexpr char kListen[] = "Listen: ";

std::string LocalTime(time_t when) {
  tm local{};
  localtime_r(&when, &local);
  char text[32];
  strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

// Every synchronisation of the last user's log, or why there is none.
std::string LogReport() {
  Desktop desktop;
  std::string error;
  if (!ReadDesktop(&desktop, &error)) return error;
  const std::string file = LastLogFile(desktop);
  std::string raw;
  if (file.empty()) return "No handheld has been synchronised on this desktop yet.";
  if (!nb::ReadWholeFile(nb::MapPath(file), &raw)) return "There is no log " + nb::MapPath(file);
  return ReadableLog(raw, false);
}

std::vector<nb::ui::MenuItem> ConduitItems() {
  std::vector<nb::ui::MenuItem> items;
  Desktop desktop;
  std::string error;
  if (!ReadDesktop(&desktop, &error)) return {{error, false}};
  for (const ConduitRegistration& e : ListRegistrations(desktop.keys.user))
    items.push_back({e.name + " (creator " + nb::pdb::FourCCText(e.creator) + ")", false});
  if (items.empty()) items.push_back({"no conduits registered", false});
  return items;
}

}  // namespace

ManagerTray::ManagerTray(nb::ui::EventLoop& loop, LinkListeners* links, std::function<void()> exit)
    : loop_(loop), links_(links), exit_(std::move(exit)) {}

ManagerTray::~ManagerTray() {
  if (shown_) loop_.DeleteTrayIcon();
}

bool ManagerTray::Show() {
  shown_ = loop_.AddTrayIcon(
      kMenuCaption, [this](int message) { OnMouse(message); }, nb::ui::TrayPicture::kSync);
  ShowStatus();
  return shown_;
}

std::string ManagerTray::State() const {
  if (!synchronising_.empty()) return "synchronising " + synchronising_;
  if (!links_) return "waiting for \"hotsync press\"";
  const std::string on = links_->Describe();
  return on.empty() ? "not listening for handhelds" : "waiting on " + on;
}

void ManagerTray::ShowStatus() {
  const std::string tip = std::string(kMenuCaption) + " - " + State();
  if (tip != shown_tip_) loop_.SetTrayToolTip(tip);
  shown_tip_ = tip;
}

void ManagerTray::Synchronising(const std::string& what) {
  synchronising_ = what;
  loop_.SetTrayBusy(true);
  ShowStatus();
  // The picture changes before the synchronisation holds the program.
  loop_.ProcessEvents();
}

void ManagerTray::Finished(int result) {
  synchronising_.clear();
  if (result >= 0)
    last_result_ = (result == 0 ? "completed at " : "failed (" + std::to_string(result) + ") at ") +
                   LocalTime(nb::TheOs().Now());
  loop_.SetTrayBusy(false);
  ShowStatus();
}

std::vector<nb::ui::MenuItem> ManagerTray::Menu() const {
  std::string state = State();
  state[0] = char(toupper(static_cast<unsigned char>(state[0])));
  std::vector<nb::ui::MenuItem> menu = {
      {state, false},
      {"Last HotSync: " + (last_result_.empty() ? "none since the start" : last_result_), false},
      {}};
  bool any = false;
  for (Link link : {Link::kNetSync, Link::kCradle}) {
    if (!links_ || !links_->Has(link)) continue;
    any = true;
    nb::ui::MenuItem item{kListen + links_->Describe(link)};
    item.checkable = true;
    item.checked = links_->Listening(link);
    menu.push_back(item);
  }
  if (!any) menu.push_back({"Listening only for \"hotsync press\" (see --listen, --port)", false});
  menu.push_back({});
  menu.push_back({kViewLog});
  nb::ui::MenuItem conduits{"Conduits"};
  conduits.submenu = ConduitItems();
  menu.push_back(conduits);
  menu.push_back({});
  menu.push_back({kExit});
  return menu;
}

void ManagerTray::OnMouse(int message) {
  if (message != nb::ui::kRightButtonUp && message != nb::ui::kLeftButtonUp) return;
  // A menu left open would hold the synchronisation: the tip tells what goes on meanwhile.
  if (!synchronising_.empty()) return;
  const std::string chosen = loop_.ShowMenu(kMenuCaption, Menu());
  if (!chosen.empty()) Choose(chosen);
}

void ManagerTray::Choose(const std::string& item) {
  if (item == kExit) return exit_();
  if (item == kViewLog) return nb::ui::ShowTextWindow(kLogCaption, LogReport());
  for (Link link : {Link::kNetSync, Link::kCradle}) {
    if (!links_ || item != kListen + links_->Describe(link)) continue;
    const bool on = !links_->Listening(link);
    std::string error;
    if (links_->SetListening(link, on, &error)) {
      Say(std::string("HotSync Manager ") + (on ? "listens on " : "stops listening on ") +
          links_->Describe(link));
    } else {
      nb::ui::MessageBox(kMenuCaption,
                         "Cannot listen on " + links_->Describe(link) + " again: " + error,
                         nb::ui::Icon::kError);
    }
    ShowStatus();
  }
}

}  // namespace hotsync
