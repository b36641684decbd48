// A database file taken as the Access store takes a table file: its schema and its rows
// read, written back into it by the store and read again. A table the store wrote and
// then cannot open is a finding too (abort).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "cmdbstore.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = fuzz::WriteScratch("t.mdb", {data, size});
  std::vector<FieldDesc> fields;
  std::vector<std::vector<FieldValue>> records;
  {
    Cmdbstore reader;
    if (!reader.OpenForRead(path)) return 0;
    fields = reader.GetFields();
    // Enough rows to step past the first pages without making each run slow.
    for (int i = 0, n = reader.GetRecordCount(); i < n && i < 500; ++i) {
      if ((i == 0 ? reader.MoveFirst() : reader.MoveNext()) != NavStatus::Done) break;
      records.push_back(reader.GetRecord());
    }
    reader.Close();
  }
  Cmdbstore writer;
  for (const FieldDesc& f : fields) writer.AddField(f);
  if (!writer.Create(path, false)) return 0;
  for (const auto& r : records)
    if (!writer.AddRecord(r)) return 0;
  if (!writer.Close()) return 0;
  Cmdbstore again;
  if (!again.OpenForRead(path)) std::abort();
  for (int i = 0, n = again.GetRecordCount(); i < n && i < 500; ++i) {
    if ((i == 0 ? again.MoveFirst() : again.MoveNext()) != NavStatus::Done) break;
    again.GetRecord();
  }
  again.Close();
  return 0;
}
