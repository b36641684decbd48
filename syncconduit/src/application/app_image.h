// The application reader: an application file's bytes in, the two handheld databases'
// contents out (the forms database's application-info block and records, the resource
// database's resources). A pure function over bytes: it touches no file and no handheld,
// so the download, the tests and the fuzz target all call it alike.
//
// File layout read (little-endian): "NBAP", version, header items by version, the tables,
// string table, extra string, script lists, the trailer at the end of the file, the forms
// with their controls, the menu bars. Everything read goes through one FileCursor.
//
// Failures are problems (conduit error codes) in reading order: 1010/1020 stop before any
// database exists; a cut or corrupt header (1040) and an application-info block over
// 64,512 bytes stop with no forms database; a bad form (1040, 1100) fails that form and,
// when the file can no longer be followed, the forms after it; bad menu data (1440-1460)
// leaves out the menu record and the menu bars. A form too big for one record fails with
// 1100 (it is not continued in further records).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "file_cursor.h"

namespace conduit::app {

constexpr uint32_t kMinVersion = 54;
// "NBAP" and the version: enough to tell an application file from any other.
constexpr size_t kHeaderSize = 8;

// 0 when the file's first bytes are those of an application, else its error: 1010 (not
// one, or cut within the header), 1020 (a version too old).
int HeaderProblem(std::span<const uint8_t> file);

struct Names {
  std::string resource_db;  // for the "RSRC:%s:Tbmp:%d" references of bitmaps
  uint32_t creator = 0;     // of the application; table databases use it too
  uint32_t major = 0, minor = 0;
};

struct Resource {
  uint32_t type;
  uint16_t id;
  std::vector<uint8_t> data;
};

struct Image {
  enum class Stage {
    kNotApplication,  // wrong signature or version: nothing to create
    kNoInfoBlock,     // header cut or block over 64,512 bytes: no forms database
    kBuilt,
  };
  Stage stage = Stage::kNotApplication;
  bool info_overflow = false;  // the "must not exceed 64K" case of kNoInfoBlock
  uint32_t version = 0;
  std::vector<uint8_t> app_info;
  std::vector<std::vector<uint8_t>> forms;  // records of the forms that were read whole
  bool forms_failed = false;
  bool has_menu_record = false;
  std::vector<uint8_t> menu_record;
  std::vector<Resource> resources;  // 'MBAR' per menu bar, then 'Tbmp' per bitmap
  bool menus_failed = false;
  Problems problems;
};

Image ReadApplication(std::span<const uint8_t> file, const Names& names);

}  // namespace conduit::app
