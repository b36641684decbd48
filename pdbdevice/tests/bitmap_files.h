// Helpers of the bitmap tests: bitmap files made by the bmpgen tool, hand-made broken
// ones, and a message function that records what it is told.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace pdbdevice::testing {

inline std::vector<std::string>& Messages() {
  static std::vector<std::string> messages;
  return messages;
}

inline void RecordMessage(const char* format, ...) {
  char text[4096];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  Messages().push_back(text);
}

// Runs bmpgen with the arguments; true when it succeeded.
inline bool Bmpgen(const std::string& args) {
  const std::string command = std::string(NB_BIN_DIR) + "/bmpgen " + args + " 2>/dev/null";
  return std::system(command.c_str()) == 0;
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), {});
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

}  // namespace pdbdevice::testing
