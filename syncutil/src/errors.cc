#include "errors.h"

#include "environment.h"
#include "platform/ui.h"

namespace syncutil {

void ShowError(const char* message, const std::string& detail) {
  // A box of a started library: a missing installation is told first, as it always was.
  EnsureStarted();
  std::string m = message;
  std::string text = "Nimbra DLL Error " + m.substr(0, 4) + ": " + m.substr(4);
  if (!detail.empty()) text += "\n" + detail;
  nb::ui::MessageBox("Nimbra", text, nb::ui::Icon::kNone);
}

}  // namespace syncutil
