// Names of appraisal data files in the Inbox: FileNumber + suffix + ".vxa", the suffix
// empty, then "a" to "z" while the name is taken.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace valtrix {

// FileNumber as a file name that stays inside its folder: path separators and the
// characters a Windows file name cannot hold (< > : " | ? * and control characters)
// become "_", and an overlong number is cut so the name fits the file system. Ordinary
// numbers come back unchanged; "" stays "" (the file is then ".vxa").
std::string FileNameBase(std::string_view file_number);

// The first of the 27 candidate paths in folder (ending in a separator) that names no
// existing entry; nothing when all are taken or the folder cannot be examined.
std::optional<std::string> ChooseAppraisalFile(const std::string& folder,
                                               std::string_view file_number);

// The path of a file among those 27 candidates whose bytes are exactly `text`: an export
// interrupted before its mark was cleared left it there. Nothing when none is.
std::optional<std::string> FindIdenticalAppraisalFile(const std::string& folder,
                                                      std::string_view file_number,
                                                      std::string_view text);

}  // namespace valtrix
