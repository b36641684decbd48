// Registry hive and import files (the registry's text form) on arbitrary bytes; every
// value understood is written back as a line.
#include <cstddef>
#include <cstdint>

#include "reg_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto parsed = nb::reg::text::Parse(std::string(reinterpret_cast<const char*>(data), size));
  for (const auto& change : parsed.changes) {
    if (change.op == nb::reg::text::Change::Op::kValue) {
      nb::reg::text::ValueLine(change.name, change.value);
    }
  }
  return 0;
}
