#include "messages.h"

#include <string_view>

#include "platform/ui.h"

namespace dbfstore {
namespace {

constexpr const char* kCaption = "Nimbra";
constexpr const char* kDllErrorCode = "2001";

std::string WithPath(std::string_view format, const std::string& path) {
  const size_t at = format.find("%s");
  return std::string(format.substr(0, at)) + path + std::string(format.substr(at + 2));
}

}  // namespace

void Show(const std::string& text) { nb::ui::MessageBox(kCaption, text, nb::ui::Icon::kNone); }

void ShowWarning(const std::string& text) {
  nb::ui::MessageBox(kCaption, text, nb::ui::Icon::kExclamation);
}

void ShowDllError(const std::string& text) {
  Show(std::string("Nimbra DLL Error ") + kDllErrorCode + ": " + text);
}

std::string OpenFailedText(const std::string& path) { return WithPath(kOpenFailed, path); }

std::string WriteFailedText(const std::string& path, const std::string& reason) {
  return WithPath(kWriteFailed, path) + "\n\n" + reason;
}

}  // namespace dbfstore
