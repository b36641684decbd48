// The message target and the user-maintenance dialog.
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/bus.h"
#include "syncutil_loader.h"
#include "test_prefix.h"

namespace {

using nb::testing::SyncUtil;
using nb::testing::TempPrefix;

struct Received {
  uint32_t msg;
  uintptr_t wparam;
  intptr_t lparam;
};

TEST(MsgTarget, ForwardsOnlyTheRegisteredMessage) {
  TempPrefix prefix;
  SyncUtil su;
  std::vector<Received> got;
  auto window = nb::bus::Window::Create("Child", "inner", [&](uint32_t m, uintptr_t w, intptr_t l) {
    got.push_back({m, w, l});
  });
  ASSERT_TRUE(window);
  void* target = NB_FN(su, NB_CreateMsgTarget)(window.get());
  ASSERT_NE(target, nullptr);
  nb::bus::WindowInfo info;
  ASSERT_TRUE(nb::bus::FindWindow("", "Nimbra Msg Target", &info));

  const uint32_t ipc = NB_FN(su, NB_GetRegisteredMsg)();
  auto* target_window = static_cast<nb::bus::Window*>(target);
  ASSERT_TRUE(nb::bus::PostMessage(info, ipc + 1 > 0xFFFF ? 0xC000 : ipc + 1, 5, 6));
  ASSERT_TRUE(nb::bus::PostMessage(info, ipc, kCommandDone, 7));
  for (int i = 0; i < 50 && got.empty(); ++i) {
    target_window->Pump(10);
    window->Pump(10);
  }
  window->Pump(50);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].msg, ipc);
  EXPECT_EQ(got[0].wparam, uintptr_t(kCommandDone));
  EXPECT_EQ(got[0].lparam, 7);

  NB_FN(su, NB_DeleteMsgTarget)(target);
  EXPECT_FALSE(nb::bus::FindWindow("", "Nimbra Msg Target", &info));
  NB_FN(su, NB_DeleteMsgTarget)(nullptr);
  EXPECT_EQ(NB_FN(su, NB_CreateMsgTarget)(nullptr), nullptr);
}

TEST(UserMaintenance, ShowsTheDisabledDialogAndChangesNothing) {
  TempPrefix prefix;
  std::string log = prefix.path() + "/ui.log";
  setenv("NB_UI_LOG", log.c_str(), 1);
  {
    SyncUtil su;
    EXPECT_EQ(NB_FN(su, NB_UserMaintenance)(), 1);
  }
  unsetenv("NB_UI_LOG");
  std::ifstream in(log);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("\"caption\": \"User Maintenance (DISABLED for Beta)\""),
            std::string::npos)
      << text.str();
  EXPECT_NE(text.str().find("Beta User"), std::string::npos);
  EXPECT_NE(text.str().find("\"answer\": \"OK\""), std::string::npos);
}

}  // namespace
