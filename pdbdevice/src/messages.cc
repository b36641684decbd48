#include "messages.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "platform/ui.h"

namespace pdbdevice {

std::string Format(const char* format, ...) {
  if (!format) return {};
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text;
  if (n > 0) {
    std::vector<char> buffer(size_t(n) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    text.assign(buffer.data(), size_t(n));
  }
  va_end(args);
  return text;
}

void ShowMessage(const std::string& text) {
  nb::ui::MessageBox(kCaption, text, nb::ui::Icon::kNone);
}

void ShowError(const std::string& message, const std::string& path) {
  nb::ui::MessageBox(kCaption, message + "\n\nPath: " + path, nb::ui::Icon::kError);
}

}  // namespace pdbdevice
