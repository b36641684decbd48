// What the UI seam's parts share: inside the platform library and with the windowing
// host (nbui_qt), so its boxes log and answer like the headless ones.
#pragma once

#include <string>
#include <vector>

#include "platform/event_loop.h"
#include "platform/ui.h"

namespace nb::ui::internal {

// One JSON line in NB_UI_LOG, when set; menus and the tray have no icon.
void Log(const std::string& caption, const std::string& text, const std::string& answer,
         Icon icon = Icon::kNone);
// The NB_UI_ANSWERS answer for a caption, or empty.
std::string ScriptedAnswer(const std::string& caption);
// A label without '&', lower case: how answers and labels compare.
std::string Normalize(const std::string& label);
// A menu as its log line tells it (event_loop.h).
std::string MenuText(const std::vector<MenuItem>& items);

}  // namespace nb::ui::internal
