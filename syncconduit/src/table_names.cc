#include "table_names.h"

#include <cctype>
#include <cstdio>

#include "pdbfile/bytes.h"
#include "pdbfile/pdbfile.h"

namespace conduit {

std::string DatabaseName(const std::string& file, uint32_t creator, uint32_t major, uint32_t minor,
                         char kind, bool cut) {
  size_t sep = file.find_last_of("\\/");
  std::string base = sep == std::string::npos ? file : file.substr(sep + 1);
  size_t dot = base.rfind('.');
  if (dot != std::string::npos) base.resize(dot);
  for (char& c : base) c = c == ' ' ? '_' : char(std::toupper(uint8_t(c)));
  if (cut && base.size() > 21) base.resize(21);
  char versions[16];
  std::snprintf(versions, sizeof versions, "%02u%02u", major & 0xFF, minor & 0xFF);
  const std::string name = "E" + nb::pdb::FourCCText(creator) + versions + kind + base;
  return cut ? nb::pdb::HandheldName(name) : name;
}

std::string DatabaseFilePath(const std::string& file, uint32_t creator, uint32_t major,
                             uint32_t minor) {
  size_t sep = file.find_last_of("\\/");
  std::string folder = sep == std::string::npos ? "" : file.substr(0, sep + 1);
  return folder + DatabaseName(file, creator, major, minor, '_', false) + ".PDB";
}

}  // namespace conduit
