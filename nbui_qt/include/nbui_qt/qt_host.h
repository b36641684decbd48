// The Qt host of the UI seam (platform/ui_host.h): Qt message boxes, dialogs, the event
// loop and the tray icon. Only programs with windows link this library; nbplatform and
// every plug-in stay free of Qt. Call InstallQtHost() once at start-up; the host is
// process-wide and never freed.
#pragma once

namespace nb {

void InstallQtHost();

}  // namespace nb

namespace nb::ui::internal {

// The one QApplication of the process, created on first use; for the program's own
// Qt windows too.
void EnsureApp();

}  // namespace nb::ui::internal

// The same, for a program that loads this library at run time (ui_host.h).
extern "C" void NbInstallQtHost();
