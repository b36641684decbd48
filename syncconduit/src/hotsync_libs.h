// Binding HotSync's log, command and sync libraries for one synchronisation.
#pragma once

namespace conduit {

// Loads the libraries from the HotSync folder (or "C:\Palm") and binds their operations;
// false (after the error dialog) when something is missing. Release always unloads.
bool BindHotSync();
void ReleaseHotSync();

}  // namespace conduit
