// Big-endian reading and writing of DLP argument data, and the handheld's date stamp
// (DlpDateTimeType: year 2 bytes, month, day, hour, minute, second, one unused byte; year 0
// means never) converted to and from seconds since 1 January 1904.
//
// A Reader checks every read against the end of its bytes; once a read would pass the end
// it has failed for good and every further read gives 0 or nothing, so a lying length can
// never make a decoder leave its argument.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace nb::dlp {

class Reader {
 public:
  explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  bool ok() const { return ok_; }
  size_t left() const { return ok_ ? bytes_.size() - pos_ : 0; }

  uint8_t U8();
  uint16_t U16();
  uint32_t U32();
  // A DlpDateTimeType; a stamp that is no real time (month 13, year before 1904 or past
  // what 32 bits of seconds hold) fails the reader.
  uint32_t Date();
  void Skip(size_t n) { Take(n); }
  std::vector<uint8_t> Bytes(size_t n);
  // The rest of the bytes.
  std::vector<uint8_t> Rest() { return Bytes(left()); }
  // A NUL-terminated string; the reader fails without a NUL before the end. Bytes after
  // the NUL are left for the caller.
  std::string CString();

 private:
  bool Take(size_t n);

  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
  bool ok_ = true;
};

class Writer {
 public:
  Writer& U8(uint8_t v);
  Writer& U16(uint16_t v);
  Writer& U32(uint32_t v);
  Writer& Date(uint32_t seconds);
  Writer& Bytes(std::span<const uint8_t> bytes);
  Writer& CString(const std::string& text);  // with its NUL

  std::vector<uint8_t>& bytes() { return bytes_; }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
};

struct DateTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// 0 gives year 0 (never).
DateTime DateFromSeconds(uint32_t seconds);
// False for a stamp that is no real time or does not fit 32 bits of seconds since 1904.
bool SecondsFromDate(const DateTime& date, uint32_t* seconds);

}  // namespace nb::dlp
