#include "messages.h"

#include <cstdarg>
#include <cstdio>

#include "platform/ui.h"

namespace mdbstore {
namespace {

constexpr const char* kCaption = "Nimbra";
constexpr const char* kDllErrorCode = "2001";

}  // namespace

std::string Format(const char* format, ...) {
  va_list args, again;
  va_start(args, format);
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text(n > 0 ? size_t(n) : 0, '\0');
  if (n > 0) std::vsnprintf(text.data(), size_t(n) + 1, format, again);
  va_end(again);
  return text;
}

void Show(const std::string& text) { nb::ui::MessageBox(kCaption, text, nb::ui::Icon::kNone); }

void ShowWarning(const std::string& text) {
  nb::ui::MessageBox(kCaption, text, nb::ui::Icon::kExclamation);
}

void ShowDllError(const std::string& text) {
  Show(std::string("Nimbra DLL Error ") + kDllErrorCode + ": " + text);
}

void ShowFailure(const FailureText& text, const std::string& path, const mdb::data::Error& e) {
  const bool described = !e.source.empty();
  if (text.names_path)
    Show(described ? Format(text.with_source, path.c_str(), e.source.c_str(), e.description.c_str())
                   : Format(text.plain, path.c_str()));
  else
    Show(described ? Format(text.with_source, e.source.c_str(), e.description.c_str())
                   : std::string(text.plain));
}

void ShowCreateTableFailure(const std::string& path, const mdb::data::Error& e) {
  if (e.code != 0)
    Show(Format(kCreateTableFailed, path.c_str(), e.code, SystemText(e).c_str()));
  else if (!e.description.empty())
    Show(Format(kCreateTableNoCode, path.c_str(), e.description.c_str()));
  else
    Show(Format(kCreateTablePlain, path.c_str()));
}

std::string SystemText(const mdb::data::Error& e) {
  return e.description.empty() ? Format("Unknown error 0x%0lX", long(e.code)) : e.description;
}

}  // namespace mdbstore
