// The one way the application reader takes bytes from an application file: a
// little-endian cursor that checks every read against the end of the file. Once a read
// would pass the end the cursor has failed for good and every further read gives 0 or
// nothing, so a cut file or a lying count can never make the reader leave the file.
// Problems (error codes with their details) are collected in order for the caller to show.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace conduit::app {

struct Problem {
  int code;
  std::string detail;
};

// Keeps the problems in order. Add does not repeat a problem equal to the last one, so a
// lying count over broken items (strings, scripts) shows one dialog, not thousands;
// AddEach always adds (each failed form is its own).
class Problems {
 public:
  void Add(int code, const std::string& detail = "") {
    if (!list_.empty() && list_.back().code == code && list_.back().detail == detail) return;
    AddEach(code, detail);
  }
  void AddEach(int code, const std::string& detail = "") { list_.push_back({code, detail}); }
  bool Has(int code) const {
    for (const Problem& p : list_)
      if (p.code == code) return true;
    return false;
  }
  const std::vector<Problem>& list() const { return list_; }

 private:
  std::vector<Problem> list_;
};

// Longest string the file may hold; longer ones are cut (error 1050).
constexpr size_t kMaxFileString = 1023;

class FileCursor {
 public:
  FileCursor(std::span<const uint8_t> bytes, Problems* problems, size_t offset = 0)
      : bytes_(bytes), pos_(offset), ok_(offset <= bytes.size()), problems_(problems) {}

  bool ok() const { return ok_; }
  size_t pos() const { return pos_; }
  size_t size() const { return bytes_.size(); }
  Problems& problems() { return *problems_; }
  // Another cursor over the same file, at `offset`.
  FileCursor At(size_t offset) const { return FileCursor(bytes_, problems_, offset); }

  uint8_t U8() { return Take(1) ? bytes_[pos_ - 1] : 0; }
  uint16_t U16() { return Take(2) ? uint16_t(bytes_[pos_ - 2] | bytes_[pos_ - 1] << 8) : 0; }
  uint32_t U32() {
    if (!Take(4)) return 0;
    const uint8_t* p = &bytes_[pos_ - 4];
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
  }
  std::span<const uint8_t> Bytes(size_t n) {
    return Take(n) ? bytes_.subspan(pos_ - n, n) : std::span<const uint8_t>{};
  }
  void Skip(size_t n) { Take(n); }
  // Reads four bytes; true when they are `tag`. A cut file is not the tag.
  bool Tag(const char* tag) {
    auto b = Bytes(4);
    return b.size() == 4 && b[0] == uint8_t(tag[0]) && b[1] == uint8_t(tag[1]) &&
           b[2] == uint8_t(tag[2]) && b[3] == uint8_t(tag[3]);
  }
  // A 16-bit length and that many bytes; longer than 1,023 bytes is error 1050, the rest
  // is skipped.
  std::string String() {
    const uint16_t length = U16();
    auto b = Bytes(length);
    if (!ok_) return {};
    if (length > kMaxFileString) {
      problems_->Add(1050);
      b = b.first(kMaxFileString);
    }
    return std::string(b.begin(), b.end());
  }

 private:
  bool Take(size_t n) {
    if (!ok_ || n > bytes_.size() - pos_) {
      ok_ = false;
      return false;
    }
    pos_ += n;
    return true;
  }

  std::span<const uint8_t> bytes_;
  size_t pos_;
  bool ok_;
  Problems* problems_;
};

}  // namespace conduit::app
