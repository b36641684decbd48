// The store's texts and how it shows them.
#pragma once

#include <string>

namespace dbfstore {

inline constexpr const char* kOpenFailed = "Error: could not open dBase file \"%s\".";
inline constexpr const char* kWriteFailed = "Error: could not write dBase file \"%s\".";
inline constexpr const char* kOutOfMemory =
    "Error: Out of memory while reading dBase field descriptors.";
inline constexpr const char* kFileNameRule =
    "Error: table filenames must be at most 8 characters long and must only contain the "
    "characters A-Z, the digits 0-9 and underscores (\"_\").\n\nFor example:\n\n    CUSTOMER "
    "(good)\n    CUST_TBL (good)\n    CUST TBL (bad - spaces not valid)\n    CUSTOMERS (bad - "
    "'CUSTOMERS' is too long)\n";
inline constexpr const char* kUnknownType = "Unknown type in Cdbfstore::AddValue";

// A plain message box.
void Show(const std::string& text);
// A message box with the exclamation icon.
void ShowWarning(const std::string& text);
// A "Nimbra DLL Error <code>: <text>" report.
void ShowDllError(const std::string& text);
// kOpenFailed with the path in place of %s.
std::string OpenFailedText(const std::string& path);
// kWriteFailed with the path, then the reason on a line of its own.
std::string WriteFailedText(const std::string& path, const std::string& reason);

}  // namespace dbfstore
