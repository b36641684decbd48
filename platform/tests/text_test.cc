#include "platform/text.h"

#include <gtest/gtest.h>

namespace nb {
namespace {

TEST(Windows1252, Utf8BecomesSingleBytesAndWindows1252StaysAsItIs) {
  // é, €, ’ and Ÿ: a Latin-1 letter and three of the 0x80-0x9F block.
  EXPECT_EQ(ToWindows1252("caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x99 \xC5\xB8").text,
            "caf\xE9 \x80 \x92 \x9F");
  EXPECT_EQ(ToWindows1252("\xEF\xBB\xBFplain").text, "plain");
  // Already Windows-1252, and bytes that only start a UTF-8 sequence, in one string.
  const std::string legacy = "caf\xE9 \x80 \xC3 x \xE2\x82";
  Windows1252Text same = ToWindows1252(legacy);
  EXPECT_EQ(same.text, legacy);
  EXPECT_EQ(same.error, "");
  // Overlong and surrogate forms are not UTF-8: taken byte by byte.
  EXPECT_EQ(ToWindows1252("\xC0\xA9").text, "\xC0\xA9");
  EXPECT_EQ(ToWindows1252("\xED\xA0\x80").text, "\xED\xA0\x80");
}

TEST(Windows1252, CharactersWithoutAFormAreReportedAndReplaced) {
  Windows1252Text r = ToWindows1252("ok \xE2\x9C\x93 then \xF0\x9F\x8F\xA0");
  EXPECT_EQ(r.text, "ok ? then ?");
  EXPECT_EQ(r.error, "character U+2713 at byte 4 has no Windows-1252 form");
  r = ToWindows1252("a\x81");
  EXPECT_EQ(r.text, "a?");
  EXPECT_EQ(r.error, "byte 0x81 at byte 2 has no Windows-1252 form");
}

}  // namespace
}  // namespace nb
