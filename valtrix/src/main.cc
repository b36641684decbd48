// valtrix: the appraisal application's desktop companion. It runs as a tray icon and does
// its work when the HotSync conduit synchronises the appraisal application.
#include <signal.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <exception>

#include "form.h"
#include "program_folder.h"

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
      std::printf(
          "usage: valtrix\n"
          "  Runs as a tray icon (tip \"Valtrix\", right-click for Exit) until Exit, a close\n"
          "  request on its bus window or SIGTERM. At each HotSync of the appraisal\n"
          "  application it brings the handheld tables into System/, exports marked\n"
          "  appraisals to Inbox/, imports the .vxa files and commresp.dat of Outbox/, and\n"
          "  sends the tables back. The folders live beside the program file (a symbolic\n"
          "  link counts as the program file); failures go to errorlog.txt there.\n"
          "  One instance per program folder; a second start ends at once.\n");
      return 0;
    }
  }
  std::setlocale(LC_TIME, "");
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
