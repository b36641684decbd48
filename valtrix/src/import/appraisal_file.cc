#include "import/appraisal_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "platform/os.h"
#include "platform/text.h"

namespace valtrix::import {

namespace {

std::string ReadWhole(const std::string& path) {
  int fd = nb::TheOs().Open(path.c_str(), O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) {
    throw std::runtime_error("cannot open the appraisal file " + path + ": " +
                             std::strerror(errno));
  }
  std::string text;
  char buf[16384];
  for (;;) {
    ssize_t n = nb::TheOs().Read(fd, buf, sizeof buf);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      nb::TheOs().Close(fd);
      throw std::runtime_error("cannot read the appraisal file " + path + ": " +
                               std::strerror(err));
    }
    text.append(buf, static_cast<size_t>(n));
  }
  nb::TheOs().Close(fd);
  // The tables hold Windows-1252: a file saved as UTF-8 is converted, and one with a
  // character the tables cannot hold stays in the Outbox rather than lose it.
  nb::Windows1252Text converted = nb::ToWindows1252(text);
  if (!converted.error.empty())
    throw std::runtime_error("the appraisal file " + path +
                             " cannot be imported: " + converted.error);
  return std::move(converted.text);
}

}  // namespace

LoadedAppraisalFile::LoadedAppraisalFile(std::string path)
    : path_(std::move(path)), keys_(nb::Profile::Parse(ReadWhole(path_))) {}

}  // namespace valtrix::import
