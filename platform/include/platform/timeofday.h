// Parsing a time of day as a desktop writes it: "15:26:11", "3:26:11 PM", "03:26 pm".
// Hours take one or two digits, minutes and seconds two; seconds may be left out. A
// 12-hour time ends in AM or PM (any case, blank optional) or in the current locale's
// own markers. Blanks around the text are ignored; anything else fails.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace nb {

// hour * 10000 + minute * 100 + second, or nothing when the text is not a time of day.
std::optional<int32_t> ParseTimeOfDay(std::string_view text);

}  // namespace nb
