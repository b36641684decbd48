// What the UI seam's parts share inside the platform library.
#pragma once

#include <string>

#include "platform/ui.h"

namespace nb::ui::internal {

// Defined in ui_qt.cc; called only when HasDisplay().
void EnsureApp();  // the one QApplication of the process
void QtMessageBox(const std::string& caption, const std::string& text, Icon icon);
std::string QtTimedMessageBox(const std::string& caption, const std::string& text, Icon icon,
                              int seconds);
// Closes after `seconds` with "timeout" when it is above 0.
std::string QtRunDialog(const Dialog& dialog, int seconds);

// One JSON line in NB_UI_LOG, when set; menus and the tray have no icon.
void Log(const std::string& caption, const std::string& text, const std::string& answer,
         Icon icon = Icon::kNone);
// The NB_UI_ANSWERS answer for a caption, or empty.
std::string ScriptedAnswer(const std::string& caption);
// A label without '&', lower case: how answers and labels compare.
std::string Normalize(const std::string& label);

}  // namespace nb::ui::internal
