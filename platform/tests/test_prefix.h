// A fresh desktop prefix per test: a temporary folder set as NB_PREFIX, removed after.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace nb::testing {

class TempPrefix {
 public:
  TempPrefix() {
    char tmpl[] = "/tmp/nbtest.XXXXXX";
    path_ = mkdtemp(tmpl);
    setenv("NB_PREFIX", path_.c_str(), 1);
    setenv("NB_UI", "headless", 1);
    // The session's runtime folder would outlive the desktop; tests that want it set it.
    unsetenv("XDG_RUNTIME_DIR");
  }
  ~TempPrefix() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace nb::testing
