// The store's table file names: at most 32 characters, none of \ / : * ? < > |.
#include <strings.h>

#include <cstring>

#include "cmdbstore.h"
#include "messages.h"

namespace {

constexpr size_t kMaxName = 32;

bool EndsWithExtension(const std::string& name, const std::string& extension) {
  const std::string ending = "." + extension;
  return name.size() >= ending.size() &&
         strcasecmp(name.c_str() + name.size() - ending.size(), ending.c_str()) == 0;
}

}  // namespace

std::string Cmdbstore::MakeFileName(const std::string& name, const std::string& extension) {
  std::string base = name;
  if (extension.size() == 3 && EndsWithExtension(base, extension)) base.resize(base.size() - 4);
  if (base.size() > kMaxName) return "";
  for (char& c : base)
    if (c != '\0' && std::strchr("\\/:*?<>|", c)) c = '_';
  return base + "." + extension;
}

bool Cmdbstore::IsValidFileName(const std::string& name, const std::string& extension,
                                bool show_message) {
  if (name.empty()) return false;
  std::string base = name;
  if (EndsWithExtension(base, extension)) base.resize(base.size() - extension.size() - 1);
  // A bare ".MDB" names no table.
  const bool valid = !base.empty() && strcasecmp((base + "." + extension).c_str(),
                                                 MakeFileName(base, extension).c_str()) == 0;
  if (!valid && show_message) mdbstore::Show(mdbstore::kFileNameRule);
  return valid;
}
