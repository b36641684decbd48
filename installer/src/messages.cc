#include "messages.h"

#include "platform/ui.h"

namespace installer {
namespace {

bool g_quiet = false;
bool g_error = false;

}  // namespace

void SetQuiet(bool quiet) { g_quiet = quiet; }
bool Quiet() { return g_quiet; }

void ShowError(const std::string& text) {
  g_error = true;
  nb::ui::MessageBox("Installer Error", text, nb::ui::Icon::kError);
}

void ShowInfo(const std::string& text) {
  if (!g_quiet) nb::ui::TimedMessageBox("Setup", text, nb::ui::Icon::kInformation, 3);
}

void ShowUsage(const std::string& text) {
  nb::ui::MessageBox("appinstaller Usage", text, nb::ui::Icon::kInformation);
}

int ExitCode() { return g_error ? 1 : 0; }

}  // namespace installer
