// Names of a table's handheld database and of its intermediate database file.
#pragma once

#include <cstdint>
#include <string>

namespace conduit {

// The one place a handheld database name is formed: "E" + creator + major + minor (two
// digits at least, low 8 bits) + kind + the file's base name in upper case with blanks as
// "_". cut limits the base name to 21 characters and then the whole name to what the
// handheld keeps (nb::pdb::HandheldName; three-digit versions make it longer than that);
// the database file keeps the whole name.
std::string DatabaseName(const std::string& file, uint32_t creator, uint32_t major, uint32_t minor,
                         char kind, bool cut);
// The folder of file (with its separator) + the uncut database name + ".PDB".
std::string DatabaseFilePath(const std::string& file, uint32_t creator, uint32_t major,
                             uint32_t minor);

}  // namespace conduit
