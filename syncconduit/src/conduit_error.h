// The conduit's error table and its self-closing error dialog.
#pragma once

#include <string>

namespace conduit {

// Stored message strings: the four-digit code, then the text.
const char* ErrorMessage(int code);

// Shows "Error <code>: <text><detail>" for a coded message, or message + detail as it
// stands for the two uncoded ones; closes itself after 10 seconds.
void ShowError(const std::string& message, const std::string& detail = "");
void ShowError(int code, const std::string& detail = "");

}  // namespace conduit
