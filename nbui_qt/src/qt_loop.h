// The Qt event loop and tray icon, for the Qt host.
#pragma once

#include <memory>

#include "platform/event_loop.h"

namespace nb::ui::internal {

std::unique_ptr<EventLoop> CreateQtEventLoop();

}  // namespace nb::ui::internal
