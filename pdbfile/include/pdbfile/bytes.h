// Big-endian (handheld byte order) reads and writes. Readers take a bounds-checked view:
// every read past the end fails instead of reading out of bounds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace nb::pdb {

inline uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
inline uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
inline void Set16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v >> 8);
  p[1] = uint8_t(v);
}
inline void Set32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}
inline void Put8(std::vector<uint8_t>& out, uint8_t v) { out.push_back(v); }
inline void Put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(uint8_t(v >> 8));
  out.push_back(uint8_t(v));
}
inline void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, uint16_t(v >> 16));
  Put16(out, uint16_t(v));
}
// Appends exactly `width` bytes: the first bytes of text, zero-padded.
inline void PutFixed(std::vector<uint8_t>& out, const std::string& text, size_t width) {
  for (size_t i = 0; i < width; ++i) out.push_back(i < text.size() ? uint8_t(text[i]) : 0);
}

// A four-character code from text such as "TABL" (first character high), and back.
inline uint32_t FourCC(const char* s) {
  return uint32_t(uint8_t(s[0])) << 24 | uint32_t(uint8_t(s[1])) << 16 |
         uint32_t(uint8_t(s[2])) << 8 | uint8_t(s[3]);
}
inline std::string FourCCText(uint32_t v) {
  return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

// Sequential reader over a byte span; once a read fails, ok() stays false and reads give 0.
class Reader {
 public:
  explicit Reader(std::span<const uint8_t> bytes, size_t offset = 0)
      : bytes_(bytes), pos_(offset), ok_(offset <= bytes.size()) {}
  bool ok() const { return ok_; }
  size_t pos() const { return pos_; }
  size_t left() const { return ok_ ? bytes_.size() - pos_ : 0; }
  bool Has(size_t n) const { return ok_ && n <= bytes_.size() - pos_; }
  uint8_t U8() { return Has(1) ? bytes_[pos_++] : Fail<uint8_t>(); }
  uint16_t U16() { return Take(2) ? Get16(&bytes_[pos_ - 2]) : 0; }
  uint32_t U32() { return Take(4) ? Get32(&bytes_[pos_ - 4]) : 0; }
  // n bytes as a view, empty on failure.
  std::span<const uint8_t> Bytes(size_t n) {
    return Take(n) ? bytes_.subspan(pos_ - n, n) : std::span<const uint8_t>{};
  }
  // A NUL-padded fixed-width text field.
  std::string Fixed(size_t width) {
    auto b = Bytes(width);
    size_t len = 0;
    while (len < b.size() && b[len] != 0) ++len;
    return std::string(b.begin(), b.begin() + len);
  }
  void Skip(size_t n) { Take(n); }

 private:
  bool Take(size_t n) {
    if (!Has(n)) return Fail<bool>();
    pos_ += n;
    return true;
  }
  template <typename T>
  T Fail() {
    ok_ = false;
    return T{};
  }
  std::span<const uint8_t> bytes_;
  size_t pos_;
  bool ok_;
};

}  // namespace nb::pdb
