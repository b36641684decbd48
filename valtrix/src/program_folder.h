// Where the program file lives, as it was invoked: a symbolic link is not resolved, so a
// link named valtrix in a folder makes that folder the program folder.
#pragma once

#include <string>

namespace valtrix {

// The folder of argv0 (absolute, without a trailing separator). A bare name is looked up
// on PATH; when that fails the running executable's folder is used.
std::string ProgramFolder(const char* argv0);

}  // namespace valtrix
