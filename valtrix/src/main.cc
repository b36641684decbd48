// valtrix: the appraisal application's desktop companion. It runs as a tray icon and does
// its work when the HotSync conduit synchronises the appraisal application.
#include <signal.h>

#include <clocale>
#include <cstdio>
#include <exception>

#include "form.h"
#include "nbui_qt/qt_host.h"
#include "platform/cli.h"
#include "platform/prefix.h"
#include "platform/registry.h"
#include "program_folder.h"

namespace {

// Written by "hotsync init"; without it the runtime's library cannot find its folders.
constexpr char kRuntimeKey[] = "SOFTWARE\\Corvane\\Nimbra Enterprise\\CurrentVersion";

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Runs as a tray icon (tip \"Valtrix\"; right-click for the last synchronisation, Open Inbox, "
      "Open error log and Exit) until Exit, a close request "
      "on its bus window or SIGTERM. At each HotSync of the appraisal application it brings the "
      "handheld tables into System/, exports marked appraisals to Inbox/, imports the .vxa "
      "files and commresp.dat of Outbox/, and sends the tables back.",
      "valtrix"};
  nb::cli::Prepare(app);
  app.footer(
      "The folders live beside the program file (a symbolic link counts as the program file); "
      "failures go to errorlog.txt there. One instance per program folder; a second start ends "
      "at once. The desktop is $NB_PREFIX (default ~/.nimbra), set up by \"hotsync init\".");
  if (int rc = nb::cli::Parse(app, argc, argv); rc >= 0) return rc;
  if (!nb::reg::KeyExists(nb::reg::Hive::kLocalMachine, kRuntimeKey)) {
    std::fprintf(stderr,
                 "valtrix: the desktop %s has no Nimbra runtime; run \"hotsync init\" first\n",
                 nb::Prefix().c_str());
    return 1;
  }
  std::setlocale(LC_TIME, "");
  nb::InstallQtHost();
  auto loop = nb::ui::EventLoop::Create();
  valtrix::frmValtrix form(*loop);
  // Before the form's window shows on the bus: a SIGTERM from then on waits for the loop.
  loop->OnSignal(SIGTERM, [&form] { form.mPopExit_Click(); });
  loop->OnSignal(SIGINT, [&form] { form.mPopExit_Click(); });
  try {
    if (!form.Form_Load(valtrix::ProgramFolder(argv[0]))) return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "valtrix: cannot start: %s\n", e.what());
    return 1;
  }
  loop->Run();
  return 0;
}
