// hhsim: the handheld simulator. Serves a virtual handheld folder to a desktop over a link,
// as a handheld whose HotSync button was pressed: over TCP in the NetSync framing, or on a
// serial line in SLP/PADP/CMP. The folder takes the desktop's changes only when the
// desktop ends the synchronisation cleanly. Fault options break the link on purpose.
//   hhsim --handheld DIR --netsync HOST:PORT [faults]
//   hhsim --handheld DIR --serial DEVICE [--baud N] [faults]
// Exit status 0 after a clean end of the synchronisation, 1 otherwise, 2 on a usage error.
#include <cstdio>
#include <memory>
#include <string>

#include "counting_handheld.h"
#include "dlp/server.h"
#include "handheld.h"
#include "hhlink/netsync.h"
#include "hhlink/serial.h"
#include "platform/cli.h"

namespace {

int Fail(const std::string& text) {
  std::fprintf(stderr, "hhsim: %s\n", text.c_str());
  return 1;
}

bool SplitHostPort(const std::string& text, std::string* host, int* port) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos) return false;
  *host = text.substr(0, colon);
  try {
    size_t used = 0;
    *port = std::stoi(text.substr(colon + 1), &used);
    return used == text.size() - colon - 1 && *port > 0 && *port < 65536;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "The handheld simulator: serves the virtual handheld in DIR to a desktop as a handheld "
      "does when its HotSync button is pressed, over NetSync (TCP) or a serial line "
      "(SLP/PADP/CMP). The folder keeps the desktop's changes only when the desktop ends the "
      "synchronisation cleanly.",
      "hhsim"};
  nb::cli::Prepare(app);
  std::string folder, netsync, serial;
  int baud = 115200;
  nb::dlp::ServeOptions serve;
  nb::link::Faults faults;
  app.add_option("--handheld", folder, "the virtual handheld's folder")
      ->type_name("DIR")
      ->required();
  auto* over_tcp =
      app.add_option("--netsync", netsync, "connect to the desktop listening at HOST:PORT")
          ->type_name("HOST:PORT");
  auto* over_line = app.add_option("--serial", serial, "speak SLP/PADP/CMP on the serial line")
                        ->type_name("DEVICE")
                        ->excludes(over_tcp);
  app.add_option("--baud", baud, "the highest speed to offer the desktop (default 115200)")
      ->check(CLI::IsMember({9600, 19200, 38400, 57600, 115200}))
      ->needs(over_line);
  app.add_option("--drop-after", serve.drop_after,
                 "close the link without an answer when request N arrives")
      ->type_name("N")
      ->check(CLI::PositiveNumber);
  app.add_option("--corrupt-packet", faults.corrupt_packet,
                 "send packet N with a broken checksum or header")
      ->type_name("N")
      ->check(CLI::PositiveNumber);
  app.add_option("--withhold-ack", faults.withhold_ack,
                 "serial: do not acknowledge received packet N the first time")
      ->type_name("N")
      ->check(CLI::PositiveNumber)
      ->needs(over_line);
  app.footer(
      "Exit status 0 once the desktop ended the synchronisation normally and the folder took "
      "its changes; 1 when the link failed, was dropped as asked, or the synchronisation "
      "ended otherwise; the folder is then left as it was.");
  if (int rc = nb::cli::Parse(app, argc, argv); rc >= 0) return rc;
  if (netsync.empty() && serial.empty()) {
    std::fprintf(stderr,
                 "hhsim: give --netsync HOST:PORT or --serial DEVICE; try 'hhsim --help'\n");
    return nb::cli::kUsageError;
  }
  std::string host;
  int port = 0;
  if (!netsync.empty() && !SplitHostPort(netsync, &host, &port)) {
    std::fprintf(stderr, "hhsim: --netsync: \"%s\" is not HOST:PORT; try 'hhsim --help'\n",
                 netsync.c_str());
    return nb::cli::kUsageError;
  }

  std::string error;
  auto handheld = hotsync::FolderHandheld::Open(folder, hotsync::CommitAt::kEndOfSync, &error);
  if (!handheld) return Fail(error);

  std::unique_ptr<nb::link::PacketLink> link;
  if (!netsync.empty()) {
    const int fd = nb::link::ConnectTcp(host, port, &error);
    if (fd < 0) return Fail("cannot reach the desktop: " + error);
    link = nb::link::ConnectNetSync(fd, faults, &error);
  } else {
    const int fd = nb::link::OpenSerialLine(serial, &error);
    if (fd < 0) return Fail("cannot open " + serial + ": " + error);
    link = nb::link::ConnectSerial(fd, baud, faults, &error);
  }
  if (!link) return Fail("the desktop did not take the HotSync: " + error);

  hhsim::CountingHandheld counted(*handheld);
  std::string why;
  const nb::dlp::ServeEnd end = nb::dlp::Serve(*link, counted, serve, &why);
  const std::string requests = std::to_string(counted.requests()) + " requests";
  switch (end) {
    case nb::dlp::ServeEnd::kDropped:
      return Fail("dropped the link at request " + std::to_string(serve.drop_after) +
                  ", as asked; the folder is unchanged");
    case nb::dlp::ServeEnd::kLinkLost:
      return Fail("the link was lost after " + requests + ": " + why + "; the folder is unchanged");
    case nb::dlp::ServeEnd::kEndOfSync:
      break;
  }
  if (counted.end_answer() != nb::dlp::kOk)
    return Fail("the folder could not take the desktop's changes (" +
                nb::dlp::StatusText(counted.end_answer()) + ")" + (why.empty() ? "" : ": " + why));
  if (counted.end_request() != nb::dlp::kSyncNormal)
    return Fail("the desktop ended the HotSync with status " +
                std::to_string(counted.end_request()) + " after " + requests);
  std::printf("hhsim: HotSync complete, %s\n", requests.c_str());
  return 0;
}
