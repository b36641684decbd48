// The store's table file names: at most 8 characters of A-Z, 0-9 and "_".
#include <strings.h>

#include "cdbfstore.h"
#include "messages.h"

std::string Cdbfstore::MakeFileName(const std::string& name, const std::string& extension) {
  std::string result = name.substr(0, 8);
  for (char& c : result) {
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    const bool legal = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    if (!legal) c = (c == ' ' || c == '.') ? '_' : '0';
  }
  return result + "." + extension;
}

bool Cdbfstore::IsValidFileName(const std::string& name, const std::string& extension,
                                bool show_message) {
  if (name.empty()) return false;
  std::string base = name;
  const std::string ending = "." + extension;
  if (base.size() >= ending.size() &&
      strcasecmp(base.c_str() + base.size() - ending.size(), ending.c_str()) == 0)
    base.resize(base.size() - ending.size());
  // A bare ".DBF" names no table.
  const bool valid = !base.empty() && strcasecmp((base + ending).c_str(),
                                                 MakeFileName(base, extension).c_str()) == 0;
  if (!valid && show_message) dbfstore::Show(dbfstore::kFileNameRule);
  return valid;
}
