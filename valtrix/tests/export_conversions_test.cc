// The four conversions of exported values.
#include <gtest/gtest.h>

#include "export/conversions.h"

namespace valtrix {
namespace {

using dao::Value;

TEST(ExportConversions, CheckValueIsEmptyOnlyForFalse) {
  EXPECT_EQ(CheckValue(Value::Logical(false)), "");
  EXPECT_EQ(CheckValue(Value::Logical(true)), "X");
  EXPECT_EQ(CheckValue(Value()), "X");  // absent counts as ticked
  EXPECT_EQ(CheckValue(Value::Number(0)), "");
  EXPECT_EQ(CheckValue(Value::Number(-1)), "X");
  EXPECT_EQ(CheckValue(Value::Text("False")), "");
  EXPECT_EQ(CheckValue(Value::Text("T")), "X");
}

TEST(ExportConversions, TextValueKeepsEverythingButLineFeeds) {
  EXPECT_EQ(TextValue(Value()), "");
  EXPECT_EQ(TextValue(Value::Text("first\nsecond")), "first|second");
  EXPECT_EQ(TextValue(Value::Text("a|b")), "a|b");
  EXPECT_EQ(TextValue(Value::Text("  \"quoted\" \r\n")), "  \"quoted\" \r|");
  EXPECT_EQ(TextValue(Value::Number(0)), "0");
  EXPECT_EQ(TextValue(Value::Number(1250.5)), "1250.5");
  EXPECT_EQ(TextValue(Value::Logical(true)), "True");
}

TEST(ExportConversions, NumberValueDropsZeroAndAbsent) {
  EXPECT_EQ(NumberValue(Value()), "");
  EXPECT_EQ(NumberValue(Value::Number(0)), "");
  EXPECT_EQ(NumberValue(Value::Number(3)), "3");
  EXPECT_EQ(NumberValue(Value::Number(1234567)), "1234567");  // no grouping
  EXPECT_EQ(NumberValue(Value::Number(2.5)), "2.5");
  EXPECT_EQ(NumberValue(Value::Text(" 0 ")), "");
  EXPECT_EQ(NumberValue(Value::Text("4")), "4");
}

TEST(ExportConversions, BathValueJoinsFullAndHalf) {
  EXPECT_EQ(BathValue(Value::Number(2), Value::Number(1)), "2F1H");
  EXPECT_EQ(BathValue(Value::Number(2), Value::Number(0)), "2F");
  EXPECT_EQ(BathValue(Value::Number(0), Value::Number(1)), "1H");
  EXPECT_EQ(BathValue(Value(), Value::Number(1)), "1H");
  EXPECT_EQ(BathValue(Value::Number(0), Value()), "");
}

}  // namespace
}  // namespace valtrix
