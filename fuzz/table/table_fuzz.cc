// The handheld table file decoded into a desktop table's schema and values, as the
// device-database plug-in does before it writes anything.
#include <cstddef>
#include <cstdint>

#include "table_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pdbdevice::DecodedTable table;
  std::string why;
  pdbdevice::DecodeTableFile({data, size}, &table, &why);
  return 0;
}
