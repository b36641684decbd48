// A folder made so that it survives a power cut, beside the durable file write of os.h.
//
// MakeFolderDurably makes the folder `path` and its missing parents (mode `mode`, less the
// umask) and syncs the folder holding each one it made before it returns, so a file later
// written durably inside is not lost with its folder. A folder that exists is left alone.
// True when `path` is a folder afterwards; false with errno set otherwise. Every call goes
// through nb::TheOs().
#pragma once

#include <sys/types.h>

#include <string>

namespace nb {

bool MakeFolderDurably(const std::string& path, mode_t mode = 0755);

}  // namespace nb
