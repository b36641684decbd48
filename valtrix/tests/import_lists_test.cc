// The reader lists against the mapping lists' own text (import_expected_steps.h).
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "import/reader_lists.h"
#include "import_expected_steps.h"

namespace valtrix::import {
namespace {

std::string KindName(StepKind kind) {
  switch (kind) {
    case StepKind::kForm:
      return "header";
    case StepKind::kText:
      return "text";
    case StepKind::kCheck:
      return "check";
    case StepKind::kCheck704:
      return "check704";
  }
  return "?";
}

bool IsCheckBoxKey(const std::string& key) {
  size_t dot = key.rfind('.');
  return dot != std::string::npos && dot >= 2 && key.compare(dot - 2, 2, "_X") == 0;
}

TEST(ImportLists, EveryReaderRunsTheStepsOfItsListInOrder) {
  const auto& lists = ReaderLists();
  ASSERT_EQ(lists.size(), import_expected::kReaders.size());
  size_t at = 0;
  for (size_t r = 0; r < lists.size(); ++r) {
    const ReaderList& list = lists[r];
    const import_expected::Reader& want = import_expected::kReaders[r];
    SCOPED_TRACE(want.name);
    EXPECT_EQ(list.name, want.name);
    EXPECT_EQ(list.table_name, want.table);
    EXPECT_EQ(static_cast<int>(list.steps->size()), want.declared_steps);
    for (const Step& step : *list.steps) {
      ASSERT_LT(at, import_expected::kSteps.size());
      const import_expected::Step& s = import_expected::kSteps[at++];
      EXPECT_EQ(s.reader, list.name);
      EXPECT_EQ(KindName(step.kind), s.kind) << step.key;
      EXPECT_EQ(step.key, s.key);
      EXPECT_EQ(step.field, s.field) << step.key;
    }
  }
  EXPECT_EQ(at, import_expected::kSteps.size());
}

TEST(ImportLists, CountsOfReadsAndKinds) {
  const int want[] = {42, 75, 65, 40, 124, 104, 88, 190};
  int total = 0, text = 0, check = 0;
  for (size_t r = 0; r < kReaderCount; ++r) {
    const ReaderList& list = ReaderLists()[r];
    EXPECT_EQ(static_cast<int>(list.steps->size()), want[r]) << list.name;
    for (const Step& step : *list.steps) {
      ++total;
      (step.kind == StepKind::kForm || step.kind == StepKind::kText ? text : check)++;
    }
  }
  EXPECT_EQ(total, 728);
  EXPECT_EQ(text, 322);
  EXPECT_EQ(check, 406);
}

TEST(ImportLists, KeyNamesTellTheKindOfRead) {
  for (const ReaderList& list : ReaderLists()) {
    for (const Step& step : *list.steps) {
      if (step.kind == StepKind::kForm) continue;
      bool check = step.kind == StepKind::kCheck || step.kind == StepKind::kCheck704;
      EXPECT_EQ(IsCheckBoxKey(step.key), check) << list.name << " " << step.key;
    }
  }
}

TEST(ImportLists, SpecialSteps) {
  const ReaderList& subject = ReaderLists()[0];
  EXPECT_TRUE(subject.skips_failing_steps);
  for (size_t r = 1; r < kReaderCount; ++r) EXPECT_FALSE(ReaderLists()[r].skips_failing_steps);

  EXPECT_EQ(FormStep().kind, StepKind::kForm);
  EXPECT_EQ(FormStep().field, "MajorForm");
  EXPECT_EQ(&subject.steps->front(), &FormStep());
  EXPECT_EQ(FileNumberStep().key, "FORM_FILE_NUMBER.1");
  EXPECT_EQ(FileNumberStep().field, "FileNumber");
  EXPECT_EQ(FileNumberStep().maximum, 8);

  // The only steps with a length of their own, and the only 704 steps.
  int fixed = 0, only704 = 0;
  for (const ReaderList& list : ReaderLists()) {
    for (const Step& step : *list.steps) {
      fixed += step.maximum != kFieldLength;
      only704 += step.kind == StepKind::kCheck704;
    }
  }
  EXPECT_EQ(fixed, 1);
  EXPECT_EQ(only704, 2);
}

TEST(ImportLists, KeysReadTwiceInTheThirdDescription) {
  std::map<std::string, int> reads;
  for (const Step& step : *ReaderLists()[6].steps) ++reads[step.key];
  std::set<std::string> twice;
  for (const auto& [key, n] : reads) {
    if (n > 1) twice.insert(key);
  }
  EXPECT_EQ(twice, (std::set<std::string>{"CAR_NUMBR_CARPORT.1", "CAR_NUMBR_GARAGE_ATTACH.1",
                                          "CAR_NUMBR_GARAGE_DETACH.1", "CAR_STORAGE_NONE_X.1"}));
}

}  // namespace
}  // namespace valtrix::import
