// Form records. A form in the file: "FORM", four 16-bit form values, its script list
// (from version 259), a 32-bit control count and the controls. On the handheld: a
// 36-byte header ("FORM"; the form values at 10, 12, 4 and 14; total and record control
// counts at 6 and 8; script-list offset at 16; first control at 18), the script list,
// then one control record per control (control_types.cc), each at an even offset.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app_image.h"
#include "file_cursor.h"

namespace conduit::app {

enum class FormRead {
  kDone,    // the record is complete
  kFailed,  // this form failed (its problem is reported); the next form can be read
  kLost,    // the file cannot be followed past this point
};

// Reads one form into *record; the bitmaps its controls carry are added to *bitmaps.
FormRead ReadForm(FileCursor& c, uint32_t version, const std::string& resource_db,
                  std::vector<uint8_t>* record, std::vector<Resource>* bitmaps);

}  // namespace conduit::app
