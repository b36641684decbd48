// What the tray icon tells of the program: idle, the stage of a synchronisation, or how the
// last one ended. Pure: the form hands in its stage and any failure.
#pragma once

#include <string>

namespace valtrix {

struct TrayStatus {
  std::string tip;
  bool busy = false;
};

// `stage` is one of the form's stages; `stopped_at` the stage at which this or the last
// synchronisation failed, empty when it did not.
TrayStatus StatusFor(const std::string& stage, const std::string& stopped_at);

}  // namespace valtrix
