#include "platform/ui.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "test_prefix.h"

namespace nb::ui {
namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

class UiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = prefix_.path() + "/ui.log";
    setenv("NB_UI_LOG", log_.c_str(), 1);
    unsetenv("NB_UI_ANSWERS");
  }
  void TearDown() override {
    unsetenv("NB_UI_LOG");
    unsetenv("NB_UI_ANSWERS");
  }
  Dialog Choice() const {
    Dialog d;
    d.caption = "Sync";
    d.lines = {"Device found.", "Go on?"};
    d.buttons = {"&Abort", "&Retry", "&Ignore"};
    d.default_button = "&Retry";
    return d;
  }
  nb::testing::TempPrefix prefix_;
  std::string log_;
};

TEST_F(UiTest, DisplayDependsOnModeAndEnvironment) {
  const char* display = getenv("DISPLAY");
  const char* wayland = getenv("WAYLAND_DISPLAY");
  std::string saved_display = display ? display : "", saved_wayland = wayland ? wayland : "";

  setenv("DISPLAY", ":0", 1);
  EXPECT_FALSE(HasDisplay());  // NB_UI=headless wins
  unsetenv("NB_UI");
  EXPECT_TRUE(HasDisplay());
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  EXPECT_FALSE(HasDisplay());
  setenv("WAYLAND_DISPLAY", "wayland-0", 1);
  EXPECT_TRUE(HasDisplay());
  unsetenv("WAYLAND_DISPLAY");
  setenv("NB_UI", "qt", 1);
  EXPECT_FALSE(HasDisplay());  // Qt would abort: headless, with a warning
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  EXPECT_TRUE(HasDisplay());
  unsetenv("QT_QPA_PLATFORM");

  setenv("NB_UI", "headless", 1);
  if (display) setenv("DISPLAY", saved_display.c_str(), 1);
  if (wayland) setenv("WAYLAND_DISPLAY", saved_wayland.c_str(), 1);
}

TEST_F(UiTest, HeadlessMessageBoxPrintsAndLogsEscapedJson) {
  ::testing::internal::CaptureStderr();
  MessageBox("Say \"hi\"", "line1\nback\\slash\ttab\x01 caf\xc3\xa9", Icon::kExclamation);
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ("[Say \"hi\"] line1\nback\\slash\ttab\x01 caf\xc3\xa9\n", err);
  EXPECT_EQ(
      "{\"caption\": \"Say \\\"hi\\\"\", \"text\": \"line1\\nback\\\\slash\\ttab\\u0001 "
      "caf\xc3\xa9\", \"answer\": \"OK\", \"icon\": \"exclamation\"}\n",
      Slurp(log_));
}

TEST_F(UiTest, LogAppendsOneLinePerBox) {
  ::testing::internal::CaptureStderr();
  MessageBox("A", "first", Icon::kInformation);
  EXPECT_EQ("timeout", TimedMessageBox("B", "second", Icon::kError, 30));
  Dialog d = Choice();
  d.icon = Icon::kQuestion;
  EXPECT_EQ("&Retry", RunDialog(d));
  MessageBox("C", "plain", Icon::kNone);
  ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(
      "{\"caption\": \"A\", \"text\": \"first\", \"answer\": \"OK\", \"icon\": \"information\"}\n"
      "{\"caption\": \"B\", \"text\": \"second\", \"answer\": \"timeout\", \"icon\": \"error\"}\n"
      "{\"caption\": \"Sync\", \"text\": \"Device found.\\nGo on?\", \"answer\": \"&Retry\", "
      "\"icon\": \"question\"}\n"
      "{\"caption\": \"C\", \"text\": \"plain\", \"answer\": \"OK\", \"icon\": \"none\"}\n",
      Slurp(log_));
}

TEST_F(UiTest, TimedBoxReturnsAtOnceHeadless) {
  ::testing::internal::CaptureStderr();
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ("timeout", TimedMessageBox("Wait", "soon", Icon::kError, 5));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  setenv("NB_UI_ANSWERS", "wait=ok", 1);
  EXPECT_EQ("OK", TimedMessageBox("Wait", "soon", Icon::kError, 5));
  EXPECT_EQ("[Wait] soon\n[Wait] soon\n", ::testing::internal::GetCapturedStderr());
}

// Unattended boxes answer as OK or the default button would, and the log tells they
// closed themselves; a scripted answer still wins, and the boxes wait again once it ends.
TEST_F(UiTest, UnattendedBoxesCloseThemselves) {
  ::testing::internal::CaptureStderr();
  SetUnattended(10);
  MessageBox("Store", "disk full", Icon::kExclamation);
  EXPECT_EQ("&Retry", RunDialog(Choice()));
  setenv("NB_UI_ANSWERS", "Sync=Abort", 1);
  EXPECT_EQ("&Abort", RunDialog(Choice()));
  unsetenv("NB_UI_ANSWERS");
  SetUnattended(0);
  MessageBox("Store", "again", Icon::kNone);
  ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(
      "{\"caption\": \"Store\", \"text\": \"disk full\", \"answer\": \"timeout\", "
      "\"icon\": \"exclamation\"}\n"
      "{\"caption\": \"Sync\", \"text\": \"Device found.\\nGo on?\", \"answer\": \"timeout\", "
      "\"icon\": \"none\"}\n"
      "{\"caption\": \"Sync\", \"text\": \"Device found.\\nGo on?\", \"answer\": \"&Abort\", "
      "\"icon\": \"none\"}\n"
      "{\"caption\": \"Store\", \"text\": \"again\", \"answer\": \"OK\", \"icon\": \"none\"}\n",
      Slurp(log_));

  // Real windows close on their own too.
  setenv("NB_UI", "qt", 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  SetUnattended(1);
  MessageBox("Store", "shown", Icon::kError);
  EXPECT_EQ("&Retry", RunDialog(Choice()));
  SetUnattended(0);
  unsetenv("QT_QPA_PLATFORM");
  setenv("NB_UI", "headless", 1);
  EXPECT_NE(Slurp(log_).find("\"shown\", \"answer\": \"timeout\""), std::string::npos);
}

TEST_F(UiTest, ScriptedAnswersPickButtons) {
  ::testing::internal::CaptureStderr();
  Dialog d = Choice();
  EXPECT_EQ("&Retry", RunDialog(d));  // default without a script

  setenv("NB_UI_ANSWERS", "Other=Abort;SYNC=ignore", 1);
  EXPECT_EQ("&Ignore", RunDialog(d));  // caption and label ignore case and '&'

  setenv("NB_UI_ANSWERS", "*=&abort", 1);
  EXPECT_EQ("&Abort", RunDialog(d));

  setenv("NB_UI_ANSWERS", "*=Abort;Sync=Ignore", 1);
  EXPECT_EQ("&Ignore", RunDialog(d));  // the named caption beats '*'

  setenv("NB_UI_ANSWERS", "Sync=Maybe", 1);
  EXPECT_EQ("&Retry", RunDialog(d));  // no such button: default

  setenv("NB_UI_ANSWERS", "Other=Abort", 1);
  EXPECT_EQ("&Retry", RunDialog(d));
  ::testing::internal::GetCapturedStderr();
}

TEST_F(UiTest, PollDrivenDialogClosesWhenPollAnswers) {
  ::testing::internal::CaptureStderr();
  Dialog d = Choice();
  d.headless_answers_at_once = false;
  setenv("NB_UI_ANSWERS", "*=Abort", 1);  // waiting dialogs ignore the script
  int calls = 0;
  d.poll = [&] { return ++calls < 4 ? "" : "accept"; };
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ("accept", RunDialog(d));
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                  start)
                .count();
  EXPECT_EQ(4, calls);
  EXPECT_GE(ms, 250);  // about 100 ms between calls
  EXPECT_LT(ms, 2000);

  calls = 0;
  d.poll = [&] { return ++calls < 2 ? "" : "retry"; };
  EXPECT_EQ("&Retry", RunDialog(d));
  ::testing::internal::GetCapturedStderr();
}

int g_outer_sigints = 0;
void OuterHandler(int) { ++g_outer_sigints; }

TEST_F(UiTest, InterruptAnswersTheCancelButtonAndRestoresTheHandler) {
  struct sigaction sa = {}, old = {};
  sa.sa_handler = OuterHandler;
  sigemptyset(&sa.sa_mask);
  ASSERT_EQ(0, sigaction(SIGINT, &sa, &old));
  ::testing::internal::CaptureStderr();

  Dialog d = Choice();
  d.headless_answers_at_once = false;
  int calls = 0;
  d.poll = [&] {
    if (++calls == 2) raise(SIGINT);
    return std::string();
  };
  EXPECT_EQ("&Abort", RunDialog(d));
  EXPECT_EQ(2, calls);
  EXPECT_EQ(0, g_outer_sigints);

  d.buttons = {"OK", "Skip"};
  calls = 0;
  EXPECT_EQ("cancel", RunDialog(d));

  raise(SIGINT);
  EXPECT_EQ(1, g_outer_sigints);
  ::testing::internal::GetCapturedStderr();
  sigaction(SIGINT, &old, nullptr);
  EXPECT_NE(std::string::npos, Slurp(log_).find("\"answer\": \"cancel\""));
}

}  // namespace
}  // namespace nb::ui
