#include "conduit_error.h"

#include <cctype>

#include "platform/ui.h"

namespace conduit {

const char* ErrorMessage(int code) {
  switch (code) {
    case 1000:
      return "1000Could not open specified application file - ";
    case 1010:
      return "1010Not an application file (.PDA) or file corrupted - ";
    case 1020:
      return "1020Application file (.PDA) version is incompatible - ";
    case 1030:
      return "1030Could not create file on handheld - ";
    case 1040:
      return "1040Application file (.PDA) corrupted.";
    case 1050:
      return "1050String in application (.PDA) file is too big.";
    case 1090:
      return "1090Could not write application info block to handheld.";
    case 1100:
      return "1100Error occurred while copying form to handheld.";
    case 1120:
      return "1120Could not read application directory info block from handheld.";
    case 1250:
      return "1250Wrong signature when reading script!";
    case 1300:
      return "1300Error occurred when closing file ";
    case 1350:
      return "1350Error out of disk space.";
    case 1400:
      return "1400Error file access was denied by host.";
    case 1410:
      return "1410Error invalid file.";
    case 1420:
      return "1420Error hardware I/O malfunction.";
    case 1430:
      return "1430Error sharing violation.";
    case 1440:
      return "1440Application file (.PDA) corrupted.";
    case 1450:
      return "1450Application file (.PDA) corrupted.";
    case 1460:
      return "1460Application file (.PDA) corrupted.";
  }
  return "";
}

void ShowError(const std::string& message, const std::string& detail) {
  bool coded = message.size() >= 4 && std::isdigit(uint8_t(message[0])) &&
               std::isdigit(uint8_t(message[1])) && std::isdigit(uint8_t(message[2])) &&
               std::isdigit(uint8_t(message[3]));
  std::string text = coded ? "Error " + message.substr(0, 4) + ": " + message.substr(4) + detail
                           : message + detail;
  // Closes itself so that an unattended synchronisation never hangs on it.
  nb::ui::TimedMessageBox("Nimbra Conduit Error", text, nb::ui::Icon::kError, 10);
}

void ShowError(int code, const std::string& detail) { ShowError(ErrorMessage(code), detail); }

}  // namespace conduit
