// Names of a table's handheld database and of its intermediate database file.
#pragma once

#include <cstdint>
#include <string>

namespace conduit {

// "E" + creator + major + minor (two digits at least, low 8 bits) + kind + the file's
// base name in upper case with blanks as "_"; cut_base limits the base name to 21
// characters (the handheld's 31-character names).
std::string DatabaseName(const std::string& file, uint32_t creator, uint32_t major, uint32_t minor,
                         char kind, bool cut_base);
// The folder of file (with its separator) + the uncut database name + ".PDB".
std::string DatabaseFilePath(const std::string& file, uint32_t creator, uint32_t major,
                             uint32_t minor);

}  // namespace conduit
