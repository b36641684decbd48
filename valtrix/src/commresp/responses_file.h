// The common-responses file as the module reads it: where it lives, how its response
// names are listed, and how long a response may be in a pick table.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/profile.h"

namespace valtrix {

inline constexpr const char* kEditListRow = "(Edit list...)";

std::string CommonResponsesPath();  // Outbox "commresp.dat"
std::string FilteredPath();         // Outbox "cmfiltered.dat"

// Whole file contents; false when it cannot be opened or read to its end.
bool ReadWholeFile(const std::string& path, std::string& text);

// The responses of a tag: key names of its section in file order under the profile
// reader's rules (blanks around a name dropped, text from the first "=" on not part of
// it, duplicates kept). Names left empty carry no response and are skipped. A missing
// section gives none.
std::vector<std::string> ResponseNames(const nb::Profile& file, std::string_view tag);

// 500 characters in the long-response table ("APKLG" in any case), else 50.
size_t ResponseLimit(std::string_view pick_table);

// Text as the dBASE driver compares it: trailing blanks ignored, case ignored.
bool SameText(std::string_view a, std::string_view b);
std::string_view TrimTrailingBlanks(std::string_view s);

}  // namespace valtrix
