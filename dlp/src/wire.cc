#include "wire.h"

namespace nb::dlp {
namespace {

// Days from 1 January 1970 of a proleptic Gregorian date (Howard Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int* year, int* month, int* day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  *year = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (m <= 2));
  *month = static_cast<int>(m);
  *day = static_cast<int>(d);
}

const int64_t kEpoch1904 = DaysFromCivil(1904, 1, 1);

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

}  // namespace

DateTime DateFromSeconds(uint32_t seconds) {
  DateTime t;
  if (seconds == 0) return t;
  CivilFromDays(kEpoch1904 + seconds / 86400, &t.year, &t.month, &t.day);
  const uint32_t in_day = seconds % 86400;
  t.hour = static_cast<int>(in_day / 3600);
  t.minute = static_cast<int>(in_day / 60 % 60);
  t.second = static_cast<int>(in_day % 60);
  return t;
}

bool SecondsFromDate(const DateTime& t, uint32_t* seconds) {
  if (t.year == 0) {
    *seconds = 0;
    return true;
  }
  if (t.year < 1904 || t.month < 1 || t.month > 12 || t.day < 1 ||
      t.day > DaysInMonth(t.year, t.month) || t.hour > 23 || t.minute > 59 || t.second > 59)
    return false;
  const int64_t s = (DaysFromCivil(t.year, t.month, t.day) - kEpoch1904) * 86400 + t.hour * 3600 +
                    t.minute * 60 + t.second;
  if (s > UINT32_MAX) return false;
  *seconds = static_cast<uint32_t>(s);
  return true;
}

bool Reader::Take(size_t n) {
  if (!ok_ || n > bytes_.size() - pos_) {
    ok_ = false;
    return false;
  }
  pos_ += n;
  return true;
}

uint8_t Reader::U8() { return Take(1) ? bytes_[pos_ - 1] : 0; }

uint16_t Reader::U16() {
  return Take(2) ? static_cast<uint16_t>(bytes_[pos_ - 2] << 8 | bytes_[pos_ - 1]) : 0;
}

uint32_t Reader::U32() {
  if (!Take(4)) return 0;
  const uint8_t* p = &bytes_[pos_ - 4];
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

uint32_t Reader::Date() {
  DateTime t;
  t.year = U16();
  t.month = U8();
  t.day = U8();
  t.hour = U8();
  t.minute = U8();
  t.second = U8();
  U8();
  uint32_t seconds = 0;
  if (ok_ && !SecondsFromDate(t, &seconds)) ok_ = false;
  return ok_ ? seconds : 0;
}

std::vector<uint8_t> Reader::Bytes(size_t n) {
  if (!Take(n)) return {};
  return std::vector<uint8_t>(bytes_.begin() + static_cast<ptrdiff_t>(pos_ - n),
                              bytes_.begin() + static_cast<ptrdiff_t>(pos_));
}

std::string Reader::CString() {
  if (!ok_) return {};
  for (size_t i = pos_; i < bytes_.size(); ++i) {
    if (bytes_[i] != 0) continue;
    std::string text(bytes_.begin() + static_cast<ptrdiff_t>(pos_),
                     bytes_.begin() + static_cast<ptrdiff_t>(i));
    pos_ = i + 1;
    return text;
  }
  ok_ = false;
  return {};
}

Writer& Writer::U8(uint8_t v) {
  bytes_.push_back(v);
  return *this;
}

Writer& Writer::U16(uint16_t v) { return U8(static_cast<uint8_t>(v >> 8)).U8(v & 0xFF); }

Writer& Writer::U32(uint32_t v) {
  return U16(static_cast<uint16_t>(v >> 16)).U16(static_cast<uint16_t>(v & 0xFFFF));
}

Writer& Writer::Date(uint32_t seconds) {
  const DateTime t = DateFromSeconds(seconds);
  U16(static_cast<uint16_t>(t.year)).U8(static_cast<uint8_t>(t.month));
  U8(static_cast<uint8_t>(t.day)).U8(static_cast<uint8_t>(t.hour));
  return U8(static_cast<uint8_t>(t.minute)).U8(static_cast<uint8_t>(t.second)).U8(0);
}

Writer& Writer::Bytes(std::span<const uint8_t> bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

Writer& Writer::CString(const std::string& text) {
  bytes_.insert(bytes_.end(), text.begin(), text.end());
  return U8(0);
}

}  // namespace nb::dlp
