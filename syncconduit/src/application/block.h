// A big-endian block or record under construction with a size limit (the handheld's
// 64,512-byte record buffer). Writes that would take it past the limit are dropped and
// mark it overflowed for good; the caller checks overflowed() once a part is done.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace conduit::app {

constexpr size_t kRecordLimit = 0xFC00;

class Block {
 public:
  explicit Block(size_t limit = kRecordLimit) : limit_(limit) {}

  size_t size() const { return bytes_.size(); }
  bool overflowed() const { return overflowed_; }
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

  void MarkOverflowed() { overflowed_ = true; }
  // Zero-filled up to `end`; false (and overflowed) when `end` passes the limit.
  bool Reserve(size_t end) {
    if (overflowed_ || end > limit_) {
      overflowed_ = true;
      return false;
    }
    if (end > bytes_.size()) bytes_.resize(end, 0);
    return true;
  }
  void Set8(size_t at, uint8_t v) {
    if (Reserve(at + 1)) bytes_[at] = v;
  }
  void Set16(size_t at, uint16_t v) {
    if (!Reserve(at + 2)) return;
    bytes_[at] = uint8_t(v >> 8);
    bytes_[at + 1] = uint8_t(v);
  }
  void Set32(size_t at, uint32_t v) {
    Set16(at, uint16_t(v >> 16));
    Set16(at + 2, uint16_t(v));
  }
  void SetBytes(size_t at, std::span<const uint8_t> data) {
    if (Reserve(at + data.size()) && !data.empty())
      std::copy(data.begin(), data.end(), bytes_.begin() + ptrdiff_t(at));
  }
  // The text and its terminating zero at `at`.
  void SetText(size_t at, const std::string& text) {
    SetBytes(at, {reinterpret_cast<const uint8_t*>(text.data()), text.size()});
    Set8(at + text.size(), 0);
  }
  // Appends; returns where the data went.
  size_t Append(std::span<const uint8_t> data) {
    const size_t at = size();
    SetBytes(at, data);
    return at;
  }
  size_t AppendText(const std::string& text) {
    const size_t at = size();
    SetText(at, text);
    return at;
  }
  void AlignEven() { Reserve((size() + 1) & ~size_t(1)); }

 private:
  size_t limit_;
  std::vector<uint8_t> bytes_;
  bool overflowed_ = false;
};

}  // namespace conduit::app
