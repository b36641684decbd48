// Profile (INI) files on arbitrary bytes, as the readers of appraisal files (.vxa) and of
// the common-responses file take them: every section, key and value read, one value
// changed and the text written back.
#include <cstddef>
#include <cstdint>

#include "commresp/responses_file.h"
#include "fuzz_input.h"
#include "import/appraisal_file.h"
#include "platform/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = fuzz::WriteScratch("a.vxa", {data, size});
  std::string text;
  if (!valtrix::ReadWholeFile(path, text)) return 0;
  try {
    const valtrix::import::LoadedAppraisalFile file(path);
    const nb::Profile& keys = file.keys();
    char small[8];
    for (const std::string& section : keys.Sections()) {
      valtrix::ResponseNames(keys, section);
      for (const std::string& key : keys.Keys(section)) {
        keys.Get(section, key);
        keys.GetString(section, key, "", small, sizeof small);
      }
    }
  } catch (const std::runtime_error&) {
  }
  nb::Profile edited = nb::Profile::Parse(text);
  edited.Set("Fuzz", "Key", "value");
  const auto again = nb::Profile::Parse(edited.Text());
  if (again.Get("Fuzz", "Key") != "value") std::abort();
  return 0;
}
