// The installer's command line and script: the input packed as fuzz::Split describes, a
// command line of one word per line and the script file. The script is read for all it
// can hold (conduit path, .PRC files and applications) whatever the command line says.
#include <cstddef>
#include <cstdint>

#include "command_line.h"
#include "fuzz_input.h"
#include "script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto [line, script] = fuzz::Split({data, size});
  std::vector<std::string> words;
  std::string word;
  for (uint8_t c : line) {
    if (c == '\n') {
      words.push_back(word);
      word.clear();
    } else {
      word += char(c);
    }
  }
  if (!word.empty()) words.push_back(word);
  installer::Options options;
  std::string error;
  installer::ParseCommandLine(words, &options, &error);
  installer::Options reading = options;
  reading.script = fuzz::WriteScratch("install.ini", script);
  reading.crtstdreg = reading.instprc = reading.instapp = true;
  reading.condpath_given = false;
  installer::Script result;
  installer::ReadScript(reading, &result, &error);
  return 0;
}
