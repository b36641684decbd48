// The export's mapping tables against the written mapping lists.
#include "export/export_mapping.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "export_expected_steps.h"

namespace valtrix {
namespace {

std::string_view RuleName(FormRule r) {
  switch (r) {
    case FormRule::kAlways:
      return "Always";
    case FormRule::kOnlyCond:
      return "Cond";
    case FormRule::kNotCond:
      return "NotCond";
    case FormRule::kOnly704:
      return "Form704";
  }
  return "?";
}

std::string_view ConversionName(Conversion c) {
  switch (c) {
    case Conversion::kCheck:
      return "CheckValue";
    case Conversion::kText:
      return "TextValue";
    case Conversion::kNumber:
      return "NumberValue";
    case Conversion::kBath:
      return "BathValue";
    case Conversion::kNoBox:
      return "NoBox";
  }
  return "?";
}

TEST(ExportMapping, WritersHaveTheirKeyCountsAndTables) {
  const int counts[] = {42, 77, 65, 44, 124, 106, 84, 190};
  ASSERT_EQ(ExportWriters().size(), 8u);
  std::set<std::string_view> keys;
  for (size_t i = 0; i < 8; ++i) {
    const ExportWriterMap& w = ExportWriters()[i];
    EXPECT_EQ(w.writer, export_expected::kWriters[i].name);
    EXPECT_EQ(w.table, export_expected::kWriters[i].table);
    EXPECT_EQ(static_cast<int>(w.steps.size()), counts[i]) << w.writer;
    for (const ExportStep& s : w.steps) keys.insert(s.key);
  }
  EXPECT_EQ(keys.size(), 720u);
}

// Every step in the written order, with its field, conversion and form rule.
TEST(ExportMapping, StepsFollowTheWrittenListsInOrder) {
  for (size_t i = 0; i < 8; ++i) {
    const ExportWriterMap& w = ExportWriters()[i];
    std::span<const export_expected::Step> want = export_expected::kWriters[i].steps;
    ASSERT_EQ(w.steps.size(), want.size()) << w.writer;
    for (size_t k = 0; k < want.size(); ++k) {
      const ExportStep& s = w.steps[k];
      SCOPED_TRACE(std::string(w.writer) + " step " + std::to_string(k + 1));
      EXPECT_EQ(s.key, want[k].key);
      EXPECT_EQ(s.field, want[k].field);
      EXPECT_EQ(s.half_field, want[k].half);
      EXPECT_EQ(ConversionName(s.conversion), want[k].conversion);
      EXPECT_EQ(RuleName(s.rule), want[k].rule);
    }
  }
}

// Check-box keys and CheckValue steps are the same set.
TEST(ExportMapping, CheckBoxKeysAreExactlyTheCheckValueSteps) {
  for (const ExportWriterMap& w : ExportWriters()) {
    for (const ExportStep& s : w.steps) {
      std::string_view name = s.key.substr(0, s.key.rfind('.'));
      bool box = name.size() > 2 && name.substr(name.size() - 2) == "_X";
      bool check = s.conversion == Conversion::kCheck || s.conversion == Conversion::kNoBox;
      EXPECT_EQ(box, check) << s.key;
    }
  }
}

int KeysFor(std::string_view form, bool yes_boxes_empty) {
  int n = 0;
  for (const ExportWriterMap& w : ExportWriters()) {
    for (const ExportStep& s : w.steps) {
      if (!RuleApplies(s.rule, form)) continue;
      if (s.conversion == Conversion::kNoBox && !yes_boxes_empty) continue;
      ++n;
    }
  }
  return n;
}

TEST(ExportMapping, KeysPerForm) {
  EXPECT_EQ(KeysFor("COND", true), 701);
  EXPECT_EQ(KeysFor("1004", true), 716);
  EXPECT_EQ(KeysFor("URAR", true), 716);
  EXPECT_EQ(KeysFor("cond", true), 716);  // the form test is exact
  EXPECT_EQ(KeysFor("704", false), 716);
  EXPECT_EQ(KeysFor("704", true), 718);
}

TEST(ExportMapping, RoomListRunsFromBasementToThirdLevel) {
  std::span<const ExportStep> rooms = RoomListMap();
  ASSERT_EQ(rooms.size(), 44u);
  EXPECT_EQ(rooms.front().field, "RCB_FOY");
  EXPECT_EQ(rooms.front().key, "ROOM_FOYER.-1");
  EXPECT_EQ(rooms[8].key, "ROOM_BATHS.-1");
  EXPECT_EQ(rooms[8].field, "RCB_FB");
  EXPECT_EQ(rooms[8].half_field, "RCB_HB");
  EXPECT_EQ(rooms.back().field, "RC3_OTHER");
  EXPECT_EQ(rooms.back().key, "ROOM_OTHER.3");
  // The same lists on every call: the names stay where the first call put them.
  EXPECT_EQ(RoomListMap().data(), rooms.data());
  EXPECT_EQ(ConditionsMap().back().key, "VC_ITEM_COMMENTS.9");
}

}  // namespace
}  // namespace valtrix
