// appinstaller: prepares a desktop for the forms runtime and puts applications on the
// handheld, as its command line and installer script say. Exit code 1 after any error.
#include <cstdio>
#include <string>
#include <vector>

#include "command_line.h"
#include "install_steps.h"
#include "messages.h"
#include "nbui_qt/qt_host.h"
#include "registration.h"
#include "restart.h"
#include "script.h"

namespace installer {
namespace {

bool RegistrySteps(const Options& o, const RegistrationSettings& settings) {
  if (o.remstdreg && !RemoveStandardEntries()) return false;
  if (o.remreg && !RemoveEntries(o.remreg_id)) return false;
  if (o.crtstdreg && !CreateStandardEntries(settings)) return false;
  if (o.crtreg && !CreateEntry(settings, o.crtreg_id)) return false;
  return true;
}

void Run(const std::vector<std::string>& words) {
  Options o;
  std::string error;
  if (!ParseCommandLine(words, &o, &error)) return ShowError(error);
  if (o.help) return (void)std::fputs(UsageText().c_str(), stdout);
  if (o.version) return (void)std::printf("appinstaller %s\n", kVersion);
  if (o.usage) return ShowUsage(UsageText());
  SetQuiet(o.quiet);

  Script script;
  if (o.NeedsScript() && !ReadScript(o, &script, &error)) return ShowError(error);
  if (o.nddi_given) script.nddi = o.nddi;
  if (o.name_given) script.name = o.name;

  const std::string given = o.condpath_given ? o.condpath : script.conduit_path;
  RegistrationSettings settings{ResolveConduitPath(given), script.name};
  if (!given.empty() && settings.conduit.empty())
    return ShowError("Path is longer than 259 characters: \"" + given + "\"");
  // A registration without a conduit would look done to HotSync and run nothing.
  if (o.NeedsConduit() && given.empty()) return ShowError("The conduit path is empty.");

  if (!RegistrySteps(o, settings)) return;
  if (o.restarths && !RestartHotSync()) return;
  if (o.instprc && !InstallEngine(o, script)) return;
  if (o.instapp) InstallApplications(o, script);
}

}  // namespace
}  // namespace installer

int main(int argc, char** argv) {
  nb::InstallQtHost();
  installer::Run(std::vector<std::string>(argv + 1, argv + argc));
  return installer::ExitCode();
}
