// A file descriptor with positioned reads and writes; closes itself. Every call goes
// through nb::TheOs(); failures are false or -1 with errno set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace dbase {

class File {
 public:
  enum class Mode { kRead, kReadWrite, kCreate };
  File() = default;
  ~File() { Close(); }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool Open(const std::string& path, Mode mode);
  // A new file beside `path` under a temporary name (*temp) that a killed writer's
  // cleanup recognises, with the mode of the file at `path`, 0644 when there is none.
  bool CreateBeside(const std::string& path, std::string* temp);
  void Close();
  bool is_open() const { return fd_ >= 0; }

  // Reads up to n bytes at offset; the count read, or -1 on an error.
  int64_t ReadAt(uint64_t offset, void* data, size_t n) const;
  bool WriteAt(uint64_t offset, const void* data, size_t n);
  // Data on disk (fsync); false with errno set.
  bool Sync();
  // Current size, or -1.
  int64_t Size() const;

 private:
  int fd_ = -1;
};

}  // namespace dbase
