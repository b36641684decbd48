// The installer's dialogs: the engine dialog with its HotSync user list, the application
// dialog, the "Waiting for HotSync" dialog and the about box. Qt windows with a display;
// headless each takes its default button unless NB_UI_ANSWERS names another, and every
// one is written to the UI log like a message box. The two install dialogs offer
// "&About..." in their window menu (the context menu of the dialog).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace installer {

struct UserChoice {
  std::string name;
  uint32_t id = 0;
};

// "Install ..." runs `install` with the chosen user's ID; true when it succeeded, which
// closes the dialog as accepted. False also when "Cancel" closed it.
bool RunEngineDialog(const std::string& caption, const std::string& text,
                     const std::vector<UserChoice>& users,
                     const std::function<bool(uint32_t user_id)>& install);

// "Install" runs `install`; the dialog closes after it either way. False on "Cancel".
bool RunAppDialog(const std::string& caption, const std::string& text,
                  const std::function<void()>& install);

// Checks once a second whether the user's install folder still holds files; true when it
// is empty, false when cancelled.
bool RunWaitDialog(uint32_t user_id);

void ShowAbout();

// Defined per UI: Qt windows (dialogs_qt.cc).
namespace qt {
bool EngineDialog(const std::string& caption, const std::string& text,
                  const std::vector<UserChoice>& users,
                  const std::function<bool(uint32_t)>& install, std::string* answer);
bool AppDialog(const std::string& caption, const std::string& text,
               const std::function<void()>& install, std::string* answer);
void AboutBox(const std::vector<std::pair<std::string, std::string>>& info);
}  // namespace qt

}  // namespace installer
