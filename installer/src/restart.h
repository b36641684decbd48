// Restarting HotSync Manager: the resident one (window class "KittyHawk" or title
// "HotSync Manager" on the message bus) is asked to close, then the program at the
// registry's HotSync path is started detached, named "hotsync", without arguments.
#pragma once

namespace installer {

// False after showing "Cannot find HOTSYNC.EXE" or a failure to start the program.
bool RestartHotSync();

}  // namespace installer
