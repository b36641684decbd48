// A dBASE table with its memo file (input packed as fuzz::Split describes), opened and
// read record by record with every memo entry it names.
#include <cstddef>
#include <cstdint>

#include "dbase/table.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto [table_bytes, memo_bytes] = fuzz::Split({data, size});
  const std::string path = fuzz::WriteScratch("t.dbf", table_bytes);
  fuzz::WriteScratch("t.dbt", memo_bytes);
  dbase::Table table;
  if (!table.Open(path, false)) return 0;
  std::vector<FieldValue> values;
  bool deleted = false;
  // Enough records to cross the read-ahead window without making each run slow.
  const size_t n = table.record_count() < 2000 ? table.record_count() : 2000;
  for (size_t i = 0; i < n; ++i) table.ReadRecord(i, &values, &deleted);
  table.Close(false);
  return 0;
}
