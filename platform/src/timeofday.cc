#include "platform/timeofday.h"

#include <langinfo.h>
#include <strings.h>

#include <string>

namespace nb {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads one or two digits (exactly two when `two` is set) at *pos.
bool Number(std::string_view s, size_t* pos, bool two, int* out) {
  size_t start = *pos, i = start;
  while (i < s.size() && i - start < 2 && IsDigit(s[i])) ++i;
  if (i == start || (two && i - start != 2)) return false;
  int v = 0;
  for (size_t k = start; k < i; ++k) v = v * 10 + (s[k] - '0');
  *out = v;
  *pos = i;
  return true;
}

bool SameMarker(std::string_view text, const char* marker) {
  return marker && *marker && text.size() == std::string_view(marker).size() &&
         strncasecmp(text.data(), marker, text.size()) == 0;
}

// 0 for a morning marker, 12 for an afternoon one, -1 for neither.
int Meridiem(std::string_view marker) {
  if (SameMarker(marker, "AM")) return 0;
  if (SameMarker(marker, "PM")) return 12;
  if (SameMarker(marker, nl_langinfo(AM_STR))) return 0;
  if (SameMarker(marker, nl_langinfo(PM_STR))) return 12;
  return -1;
}

}  // namespace

std::optional<int32_t> ParseTimeOfDay(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  size_t pos = 0;
  int hour = 0, minute = 0, second = 0;
  if (!Number(text, &pos, false, &hour)) return std::nullopt;
  if (pos >= text.size() || text[pos++] != ':') return std::nullopt;
  if (!Number(text, &pos, true, &minute)) return std::nullopt;
  if (pos < text.size() && text[pos] == ':') {
    ++pos;
    if (!Number(text, &pos, true, &second)) return std::nullopt;
  }
  while (pos < text.size() && text[pos] == ' ') ++pos;
  if (pos < text.size()) {
    int offset = Meridiem(text.substr(pos));
    if (offset < 0 || hour < 1 || hour > 12) return std::nullopt;
    hour = hour % 12 + offset;
  }
  if (hour > 23 || minute > 59 || second > 59) return std::nullopt;
  return hour * 10000 + minute * 100 + second;
}

}  // namespace nb
