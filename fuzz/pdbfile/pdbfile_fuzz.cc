// The handheld database reader (record and resource files) on arbitrary bytes. What it
// accepts must also survive being written out and read back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "pdbfile/pdbfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string error;
  const auto db = nb::pdb::Parse({data, size}, &error);
  if (!db) return 0;
  const auto bytes = nb::pdb::Serialize(*db);
  const auto again = nb::pdb::Parse(bytes, &error);
  if (!again || again->records.size() != db->records.size()) std::abort();
  return 0;
}
