// pathmap_bench [N...]: creates N files (default 1000 and 10000) one after another in one
// new folder of a fresh desktop, each named through the path mapping as a program names a
// file it is about to write; prints the time per count and per file.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/prefix.h"

int main(int argc, char** argv) {
  std::vector<long> counts;
  for (int i = 1; i < argc; ++i) counts.push_back(std::strtol(argv[i], nullptr, 10));
  if (counts.empty()) counts = {1000, 10000};
  char tmpl[] = "/tmp/nbbench.XXXXXX";
  const std::string prefix = mkdtemp(tmpl);
  setenv("NB_PREFIX", prefix.c_str(), 1);
  for (long n : counts) {
    const std::string folder = "C:\\Many" + std::to_string(n);
    nb::MakeDirs(nb::MapPath(folder));
    const auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < n; ++i) {
      const std::string path = nb::MapPath(folder + "\\File" + std::to_string(i) + ".pdb");
      const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
      if (fd < 0) {
        std::perror(path.c_str());
        return 1;
      }
      close(fd);
    }
    const double s =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%6ld files: %8.3f s, %8.1f us per file\n", n, s, s * 1e6 / double(n));
  }
  std::filesystem::remove_all(prefix);
  return 0;
}
