#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "nbddb/field.h"

namespace {

TEST(NbddbFieldValue, CopyTrimsTextAndDuplicatesBytes) {
  FieldValue text = FieldValue::Text("abc   ");
  EXPECT_EQ(text.length(), 6u);
  FieldValue copy = text;
  EXPECT_EQ(copy.tag(), FieldTag::Text);
  EXPECT_EQ(copy.text_view(), "abc");
  EXPECT_EQ(copy.length(), 3u);
  EXPECT_STREQ(copy.text(), "abc");
  EXPECT_NE(copy.text(), text.text());

  FieldValue blanks = FieldValue::Text("   ");
  FieldValue empty(blanks);
  EXPECT_EQ(empty.length(), 0u);
  EXPECT_STREQ(empty.text(), "");

  const uint8_t raw[] = {0, 1, 0x20, 0xFF};
  FieldValue bin = FieldValue::Binary(raw, sizeof raw);
  FieldValue bin_copy;
  bin_copy = bin;
  EXPECT_EQ(bin_copy.length(), 4u);
  EXPECT_NE(bin_copy.bytes(), bin.bytes());
  EXPECT_EQ(std::memcmp(bin_copy.bytes(), raw, 4), 0);
  EXPECT_TRUE(bin_copy == bin);

  FieldValue no_bytes = FieldValue::Binary(nullptr, 0);
  FieldValue no_bytes_copy = no_bytes;
  EXPECT_EQ(no_bytes_copy.bytes(), nullptr);
  EXPECT_EQ(no_bytes_copy.length(), 0u);
}

TEST(NbddbFieldValue, MoveHandsOverAndSelfAssignmentKeeps) {
  FieldValue text = FieldValue::Text("keep  ");
  const char* data = text.text();
  FieldValue moved(std::move(text));
  EXPECT_EQ(moved.text(), data);
  EXPECT_EQ(moved.length(), 6u);
  EXPECT_EQ(text.tag(), FieldTag::Unset);

  FieldValue& alias = moved;
  moved = alias;
  EXPECT_EQ(moved.text_view(), "keep  ");

  std::vector<FieldValue> list;
  for (int i = 0; i < 100; ++i) list.push_back(FieldValue::Text(std::string(i, 'x')));
  EXPECT_EQ(list[99].length(), 99u);
}

TEST(NbddbFieldValue, LengthsAndNumericViews) {
  EXPECT_EQ(FieldValue::Int32(7).length(), 4u);
  EXPECT_EQ(FieldValue::Date(20240131).length(), 4u);
  EXPECT_EQ(FieldValue::Time(152611).length(), 4u);
  EXPECT_EQ(FieldValue::Int64(7).length(), 8u);
  EXPECT_EQ(FieldValue::Double(1.5).length(), 8u);
  EXPECT_EQ(FieldValue::TimeStamp(1).length(), 8u);
  EXPECT_EQ(FieldValue::Logical(true).length(), 1u);
  EXPECT_EQ(FieldValue::Null().length(), 0u);
  EXPECT_TRUE(FieldValue::Null().is_null());
  EXPECT_EQ(FieldValue().tag(), FieldTag::Unset);

  EXPECT_EQ(FieldValue::Double(-12.75).AsInt64(), -12);
  EXPECT_EQ(FieldValue::Double(1e300).AsInt64(), 0);
  EXPECT_DOUBLE_EQ(FieldValue::Int64(1234567890123).AsDouble(), 1234567890123.0);
  EXPECT_EQ(FieldValue::Text("12").AsInt64(), 0);
  EXPECT_EQ(FieldValue::Int32(5).int64(), 0);  // the accessor of another tag

  FieldValue date = FieldValue::Date(20240131);
  date.set_length(0);
  EXPECT_EQ(date.length(), 0u);
  FieldValue text = FieldValue::Text("ab");
  text.set_length(0);
  EXPECT_EQ(text.length(), 2u);
}

TEST(NbddbFieldValue, TimeStampPacking) {
  constexpr int64_t packed = PackTimeStamp(2024, 2, 29, 15, 26, 11);
  static_assert(UnpackTimeStamp(packed).year == 2024);
  const auto t = UnpackTimeStamp(packed);
  EXPECT_EQ(t.month, 2);
  EXPECT_EQ(t.day, 29);
  EXPECT_EQ(t.hour, 15);
  EXPECT_EQ(t.minute, 26);
  EXPECT_EQ(t.second, 11);
  EXPECT_EQ((packed >> 40) & 0xFF, 124);
  EXPECT_EQ((packed >> 48) & 0xFF, 120);
  EXPECT_EQ(packed >> 56, 0);
  EXPECT_EQ(UnpackTimeStamp(PackTimeStamp(1999, 12, 31, 23, 59, 58)).year, 1999);
}

TEST(NbddbFieldDesc, DefaultsAndNameCut) {
  FieldDesc desc;
  EXPECT_STREQ(desc.name, "");
  EXPECT_EQ(desc.type, FieldType::Unset);
  EXPECT_EQ(desc.width, 0);
  EXPECT_EQ(desc.decimals, 0);
  desc.SetName(std::string(200, 'n'));
  EXPECT_EQ(std::strlen(desc.name), 127u);
  desc.SetName("ab");
  EXPECT_STREQ(desc.name, "ab");
  EXPECT_EQ(desc.name[3], '\0');
}

}  // namespace
