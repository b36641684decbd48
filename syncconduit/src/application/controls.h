// Control records: a 36-byte base ("CTRL", 36, the record length L, type, flags, five
// values and from version 263 a sixth) and the type's data from 36, L rounded up to even.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app_image.h"
#include "block.h"
#include "file_cursor.h"

namespace conduit::app {

enum class ControlRead { kDone, kTooBig, kBadType };

// Reads one control and appends its record to *form when it ends within 64,512 bytes
// of the form record's start (kTooBig otherwise; the file is still read past it). A bitmap
// carried in the file is added to *bitmaps. kBadType: a type other than 2 to 17, after
// which the file cannot be followed.
ControlRead ReadControl(FileCursor& c, uint32_t version, const std::string& resource_db,
                        Block* form, std::vector<Resource>* bitmaps);

}  // namespace conduit::app
