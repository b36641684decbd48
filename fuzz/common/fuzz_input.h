// Helpers for fuzz targets whose reader takes a path or more than one file: a private
// scratch folder per process (removed at exit) that every input overwrites, and the one
// way an input is split into two files. Failures abort: a target that cannot write its
// scratch files would report nothing.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <span>
#include <string>
#include <utility>

namespace fuzz {

using Bytes = std::span<const uint8_t>;

inline const std::string& ScratchFolder() {
  // Never destroyed: the exit handler that removes the folder runs after static destructors.
  static const std::string* folder = [] {
    // Memory-backed when there is one: a disk file truncated and rewritten is flushed on
    // close, which would make every run wait for the disk.
    char shm[] = "/dev/shm/nbfuzz.XXXXXX", tmp[] = "/tmp/nbfuzz.XXXXXX";
    char* tmpl = ::mkdtemp(shm) ? shm : tmp;
    if (tmpl == tmp && !::mkdtemp(tmp)) std::abort();
    std::atexit([] { std::filesystem::remove_all(*folder); });
    return new std::string(tmpl);
  }();
  return *folder;
}

inline std::string ScratchPath(const std::string& name) { return ScratchFolder() + "/" + name; }

// Writes bytes to name in the scratch folder (replacing it) and returns the path.
inline std::string WriteScratch(const std::string& name, Bytes bytes) {
  const std::string path = ScratchPath(name);
  ::unlink(path.c_str());
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) std::abort();
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) std::abort();
    done += size_t(n);
  }
  ::close(fd);
  return path;
}

// Two files in one input: a 4-byte little-endian length of the first (cut to what
// follows), the first, then the second. Seeds are packed the same way (Pack).
inline std::pair<Bytes, Bytes> Split(Bytes input) {
  if (input.size() < 4) return {input.subspan(input.size()), input.subspan(input.size())};
  uint32_t first = 0;
  for (int i = 3; i >= 0; --i) first = (first << 8) | input[size_t(i)];
  const Bytes rest = input.subspan(4);
  const size_t n = first < rest.size() ? first : rest.size();
  return {rest.first(n), rest.subspan(n)};
}

inline std::string Pack(const std::string& first, const std::string& second) {
  std::string out(4, '\0');
  for (int i = 0; i < 4; ++i) out[size_t(i)] = char((first.size() >> (8 * i)) & 0xFF);
  return out + first + second;
}

}  // namespace fuzz
