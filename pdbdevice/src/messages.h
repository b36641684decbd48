// How pdbdevice reports: errors in a message box captioned "Nimbra NDDI Error", with the
// path the operation worked on.
#pragma once

#include <string>

namespace pdbdevice {

inline constexpr char kCaption[] = "Nimbra NDDI Error";

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A box with the text as it is.
void ShowMessage(const std::string& text);
// A box with "%s\n\nPath: %s".
void ShowError(const std::string& message, const std::string& path);

// The runtime's installation folder as the registry names it (ends with a separator
// when set), empty when the runtime is not installed.
std::string RuntimeFolder();

}  // namespace pdbdevice
