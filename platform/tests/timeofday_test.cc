#include "platform/timeofday.h"

#include <gtest/gtest.h>

#include <clocale>
#include <ctime>

namespace {

TEST(TimeOfDay, TwentyFourHourForms) {
  EXPECT_EQ(nb::ParseTimeOfDay("15:26:11"), 152611);
  EXPECT_EQ(nb::ParseTimeOfDay("00:00:00"), 0);
  EXPECT_EQ(nb::ParseTimeOfDay("23:59:59"), 235959);
  EXPECT_EQ(nb::ParseTimeOfDay("7:05:09"), 70509);
  EXPECT_EQ(nb::ParseTimeOfDay(" 08:30 "), 83000);
}

TEST(TimeOfDay, TwelveHourForms) {
  EXPECT_EQ(nb::ParseTimeOfDay("3:26:11 PM"), 152611);
  EXPECT_EQ(nb::ParseTimeOfDay("03:26:11 pm"), 152611);
  EXPECT_EQ(nb::ParseTimeOfDay("12:00:01 AM"), 1);
  EXPECT_EQ(nb::ParseTimeOfDay("12:30:00 PM"), 123000);
  EXPECT_EQ(nb::ParseTimeOfDay("11:59:59PM"), 235959);
  EXPECT_EQ(nb::ParseTimeOfDay("9:15 am"), 91500);
}

TEST(TimeOfDay, WhatTheLocalesWriteReadsBack) {
  std::tm tm{};
  tm.tm_hour = 15;
  tm.tm_min = 26;
  tm.tm_sec = 11;
  for (const char* name : {"C", "en_US.UTF-8", "en_US"}) {
    if (!std::setlocale(LC_TIME, name)) continue;
    char text[64];
    ASSERT_GT(std::strftime(text, sizeof text, "%X", &tm), 0u);
    EXPECT_EQ(nb::ParseTimeOfDay(text), 152611) << name << ": " << text;
    ASSERT_GT(std::strftime(text, sizeof text, "%r", &tm), 0u);
    EXPECT_EQ(nb::ParseTimeOfDay(text), 152611) << name << ": " << text;
  }
  std::setlocale(LC_TIME, "C");
}

TEST(TimeOfDay, RejectsWhatIsNoTime) {
  for (const char* text : {"", "        ", "24:00:00", "12:60:00", "12:00:61", "13:00 PM",
                           "0:10 AM", "1526", "15:2:11", "15:26:11x", "15:26:11 XM", "ab:cd:ef",
                           "15:", ":26:11", "115:26:11", "15:26:", "-1:00:00"}) {
    EXPECT_FALSE(nb::ParseTimeOfDay(text).has_value()) << '"' << text << '"';
  }
}

}  // namespace
