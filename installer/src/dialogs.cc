#include "dialogs.h"

#include <chrono>

#include "command_line.h"
#include "platform/ui.h"
#include "syncutil/syncutil.h"
#include "ui_internal.h"

namespace installer {
namespace {

constexpr char kInstallEngine[] = "Install ...";
constexpr char kInstallApp[] = "Install";
constexpr char kCancel[] = "Cancel";
constexpr char kWaitCaption[] = "Waiting for HotSync";
constexpr char kWaitText[] =
    "Ready to transfer files to Handheld.\n\nPress the HotSync button on the Handheld cradle to "
    "continue.\n\nPress \"Cancel\" to abort.";

std::string Dir(size_t (*get)(char*, size_t)) {
  char buf[260];
  get(buf, sizeof buf);
  return buf;
}

}  // namespace

bool RunEngineDialog(const std::string& caption, const std::string& text,
                     const std::vector<UserChoice>& users,
                     const std::function<bool(uint32_t user_id)>& install) {
  std::string answer;
  if (nb::ui::HasDisplay()) {
    bool accepted = qt::EngineDialog(caption, text, users, install, &answer);
    nb::ui::internal::Log(caption, text, answer);
    return accepted;
  }
  nb::ui::Dialog d;
  d.caption = caption;
  d.lines = {text, "User Name: " + (users.empty() ? std::string() : users.front().name)};
  d.buttons = {kInstallEngine, kCancel};
  d.default_button = kInstallEngine;
  if (nb::ui::RunDialog(d) != kInstallEngine) return false;
  return install(users.empty() ? 0 : users.front().id);
}

bool RunAppDialog(const std::string& caption, const std::string& text,
                  const std::function<void()>& install) {
  std::string answer;
  if (nb::ui::HasDisplay()) {
    bool accepted = qt::AppDialog(caption, text, install, &answer);
    nb::ui::internal::Log(caption, text, answer);
    return accepted;
  }
  nb::ui::Dialog d;
  d.caption = caption;
  d.lines = {text};
  d.buttons = {kInstallApp, kCancel};
  d.default_button = kInstallApp;
  if (nb::ui::RunDialog(d) != kInstallApp) return false;
  install();
  return true;
}

bool RunWaitDialog(uint32_t user_id) {
  using Clock = std::chrono::steady_clock;
  Clock::time_point next = Clock::now() + std::chrono::seconds(1);
  nb::ui::Dialog d;
  d.caption = kWaitCaption;
  d.lines = {kWaitText};
  d.buttons = {kCancel};
  d.default_button = kCancel;
  // Headless it waits for HotSync, unless a "Cancel" is scripted for it.
  d.headless_answers_at_once =
      nb::ui::internal::Normalize(nb::ui::internal::ScriptedAnswer(kWaitCaption)) == "cancel";
  d.poll = [&]() -> std::string {
    if (Clock::now() < next) return "";
    next += std::chrono::seconds(1);
    return NB_CheckInstallPending(user_id) ? "" : "accept";
  };
  return nb::ui::RunDialog(d) == "accept";
}

void ShowAbout() {
  const std::vector<std::pair<std::string, std::string>> info = {
      {"Bin Directory:", Dir(NB_GetHotSyncDir)},
      {"Data Directory:", Dir(NB_GetHotSyncDataDir)},
      {"HotSync Path:", Dir(NB_GetHotSyncPath)},
      {"Registry Key:", Dir(NB_GetPalmKey)},
  };
  qt::AboutBox(info);
  std::string text = std::string("KVX Install Utility\n") + kVersion + "\nHotSync Info";
  for (const auto& [label, value] : info) text += "\n" + label + " " + value;
  nb::ui::internal::Log("About KVX Install Utility ...", text, "OK");
}

}  // namespace installer
