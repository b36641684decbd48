// The registry's text form, as regedit exports and imports it: "Windows Registry Editor
// Version 5.00" or "REGEDIT4", 8-bit or UTF-16LE with a byte-order mark, "[key]" and
// "[-key]" lines, "name"= and @= values as strings, dword:, hex: and hex(N): (continued
// over lines ending in a backslash) or "-". One reader and one value writer for the hive
// files and for imports. Parsing never guesses: the first line it does not understand is
// reported with its number, and everything before it is kept.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace nb::reg::text {

// One line of the file as a change to the registry, in file order.
struct Change {
  enum class Op { kKey, kDeleteKey, kValue, kDeleteValue } op;
  Hive hive;
  std::string path;  // below the hive, backslash-separated
  std::string name;  // value name; empty for the default value
  Value value;       // kValue only
  size_t line;
};

struct Parsed {
  std::vector<Change> changes;
  size_t error_line = 0;  // 0 when the whole text was understood
  std::string error;      // what was not understood
};

// `bytes` is a whole file as read.
Parsed Parse(const std::string& bytes);

extern const char kHeader[];  // the header line written
// `name`=`data` as written to a file ("@" for the default value), without line end.
std::string ValueLine(const std::string& name, const Value& v);

}  // namespace nb::reg::text
