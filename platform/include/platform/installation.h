// Where this installation's own files are. In the build tree the libraries and plug-ins
// sit beside the programs; installed, programs are in PREFIX/bin and libraries in
// PREFIX/lib/nimbra. Both are found from where libnbplatform.so itself was loaded, so a
// moved tree still works.
#pragma once

#include <string>

namespace nb {

// Folder of the running program file, symbolic links resolved.
std::string ProgramDir();

// Folder holding libnbplatform.so and, beside it, every library and plug-in we build.
std::string LibraryDir();

// The version of this build ("1.0.0").
std::string Version();

}  // namespace nb
