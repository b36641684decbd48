// syncutil's numbered messages, shown as "Nimbra DLL Error <code>: <text>".
#pragma once

#include <string>

namespace syncutil {

constexpr const char* kErr1010 = "1010Unknown command type given to NB_AddToCommandQueue!";
constexpr const char* kErr1020 = "1020Bad filename passed to NB_AddToCommandQueue!";
constexpr const char* kErr1030 = "1030Couldn't register message to communicate with conduit!";
constexpr const char* kErr1040 = "1040Bad Creator ID specified.";
constexpr const char* kErr1050 = "1050Couldn't copy file to install directory.";

// Shows a stored message (code in its first four characters) with an optional detail,
// after the library has started.
void ShowError(const char* message, const std::string& detail = "");

}  // namespace syncutil
