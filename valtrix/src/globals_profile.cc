#include <stdexcept>
#include <string>
#include <string_view>

#include "globals.h"

namespace valtrix {

namespace {

// What the profile function hands back through a buffer of `buffer` characters: the value
// up to its first NUL, at most buffer - 1 characters.
std::string CopiedOut(const nb::Profile& file, std::string_view section, std::string_view key,
                      std::string_view def, size_t buffer) {
  std::string value = file.Get(section, key, def);
  size_t nul = value.find('\0');
  if (nul != std::string::npos) value.resize(nul);
  if (value.size() > buffer - 1) value.resize(buffer - 1);
  return value;
}

}  // namespace

std::string ReadProfileText(const nb::Profile& file, std::string_view section, std::string_view key,
                            std::string_view def, int& maximum) {
  constexpr int kBuffer = 4000;
  if (maximum == 0) maximum = kBuffer;  // a memo field reports the size 0
  if (maximum < 0) {
    throw std::invalid_argument("negative length " + std::to_string(maximum) + " for the key " +
                                std::string(key));
  }
  std::string text = CopiedOut(file, section, key, def, kBuffer);
  if (text.size() > static_cast<size_t>(maximum)) text.resize(static_cast<size_t>(maximum));
  for (char& c : text) {
    if (c == '|') c = '\n';
  }
  return text;
}

bool ReadProfileCheck(const nb::Profile& file, std::string_view section, std::string_view key,
                      std::string_view def) {
  return !CopiedOut(file, section, key, def, 256).empty();
}

}  // namespace valtrix
