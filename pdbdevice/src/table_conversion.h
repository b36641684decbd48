// The two conversions of the device-database plug-in: a desktop table (through the
// desktop-database plug-in at nbddb_library) into a handheld table database file, and
// such a file back into a desktop table. Errors are shown in a message box and give false;
// per-record warnings of the writer go to log when there is one. A CNbddb_Exception from
// loading the desktop plug-in is not caught.
#pragma once

#include <cstdint>
#include <string>

#include "pdbdevice/nddi.h"

namespace pdbdevice {

bool PutTable(const std::string& database_name, const std::string& table_path,
              const std::string& pdb_path, uint32_t creator, uint32_t flags,
              const std::string& nbddb_library, NddiLogFn log);

bool GetTable(const std::string& pdb_path, const std::string& table_path,
              const std::string& nbddb_library);

}  // namespace pdbdevice
