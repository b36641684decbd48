// Shared helpers of the dbfstore tests: the plug-in behind its holder, file bytes, and the
// message boxes recorded through NB_UI_LOG.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "nbddb/plugin.h"
#include "test_prefix.h"

namespace dbftest {

inline std::unique_ptr<CNbddbPlugin> Store() {
  return std::make_unique<CNbddbPlugin>(NB_BIN_DIR "/dbfstore.so");
}

inline FieldDesc Field(const char* name, uint8_t type, uint16_t width = 0, uint8_t decimals = 0) {
  FieldDesc f;
  f.SetName(name);
  f.type = type;
  f.width = width;
  f.decimals = decimals;
  return f;
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
         uint32_t(b[at + 3]) << 24;
}
inline uint16_t Le16(const std::vector<uint8_t>& b, size_t at) {
  return uint16_t(b[at] | b[at + 1] << 8);
}

// A prefix whose message boxes are recorded.
class Desk {
 public:
  Desk() { setenv("NB_UI_LOG", (prefix_.path() + "/ui.log").c_str(), 1); }
  ~Desk() { unsetenv("NB_UI_LOG"); }
  std::string Path(const std::string& name) const { return prefix_.path() + "/" + name; }
  std::string Boxes() const {
    std::ifstream in(prefix_.path() + "/ui.log");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  int BoxCount() const {
    std::string log = Boxes();
    int n = 0;
    for (char c : log) n += c == '\n';
    return n;
  }
  // True when a box showed exactly this text.
  bool Shown(const std::string& text) const {
    std::string json = "\"";
    for (char c : text) {
      if (c == '"' || c == '\\')
        json += '\\', json += c;
      else if (c == '\n')
        json += "\\n";
      else
        json += c;
    }
    return Boxes().find("\"text\":" + json + "\"") != std::string::npos ||
           Boxes().find("\"text\": " + json + "\"") != std::string::npos;
  }

 private:
  nb::testing::TempPrefix prefix_;
};

}  // namespace dbftest
