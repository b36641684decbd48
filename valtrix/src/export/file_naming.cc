#include "export/file_naming.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/os.h"

namespace valtrix {
namespace {

// Leaves room for the suffix, ".vxa" and the temporary name the save writes first within
// the usual 255-byte name limit.
constexpr size_t kMaxBase = 200;

bool Forbidden(unsigned char c) { return c < 32 || std::strchr("/\\<>:\"|?*", c) != nullptr; }

}  // namespace

std::string FileNameBase(std::string_view file_number) {
  std::string base(file_number.substr(0, kMaxBase));
  for (char& c : base) {
    if (Forbidden(static_cast<unsigned char>(c))) c = '_';
  }
  return base;
}

namespace {

std::string Candidate(const std::string& stem, int i) {
  return i == 0 ? stem + ".vxa" : stem + static_cast<char>('a' + i - 1) + ".vxa";
}

}  // namespace

std::optional<std::string> FindIdenticalAppraisalFile(const std::string& folder,
                                                      std::string_view file_number,
                                                      std::string_view text) {
  const std::string stem = folder + FileNameBase(file_number);
  for (int i = 0; i < 27; ++i) {
    const std::string path = Candidate(stem, i);
    struct stat st;
    if (nb::TheOs().Lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
        size_t(st.st_size) != text.size())
      continue;
    std::string bytes;
    if (nb::ReadWholeFile(path, &bytes) && bytes == text) return path;
  }
  return std::nullopt;
}

std::optional<std::string> ChooseAppraisalFile(const std::string& folder,
                                               std::string_view file_number) {
  const std::string stem = folder + FileNameBase(file_number);
  for (int i = 0; i < 27; ++i) {
    const std::string path = Candidate(stem, i);
    struct stat st;
    if (nb::TheOs().Lstat(path.c_str(), &st) == 0) continue;
    if (errno != ENOENT) return std::nullopt;  // cannot tell whether it is free
    return path;
  }
  return std::nullopt;
}

}  // namespace valtrix
