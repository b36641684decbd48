// Case-insensitive lookup of a name among a folder's entries, for the path mapping.
// A folder asked about again has its listing kept, and kept current by the kernel's
// change notices (inotify), so that mapping many new names into one folder reads the
// folder once rather than once per name. Without notices (none left, or an error) every
// lookup reads the folder, through the OS seam. Thread-safe; a forked child starts afresh.
#pragma once

#include <string>

namespace nb {

// The entry of folder `dir` equal to `name` without regard to case (the first in byte
// order when several are), or empty when there is none or the folder cannot be read.
std::string FindIgnoringCase(const std::string& dir, const std::string& name);

}  // namespace nb
