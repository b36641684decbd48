// The session run in this process with a virtual handheld: which desktop user a handheld
// gets, and what goes back to it.
#include "handheld.h"
#include "hotsync_fixture.h"
#include "synchronise.h"

namespace hotsync::testing {
namespace {

struct Admission {
  const char* what;
  std::vector<std::pair<const char*, const char*>> users;  // on the desktop: name, ID
  const char *name, *id;                                   // the handheld's user
  const char* option_user;
  bool admit;
  int result;
  const char *user_after, *id_after;  // handheld.ini afterwards
  const char* logged;                 // in the handheld's own log
};

class HotSyncSessionTest : public HotSyncTest, public ::testing::WithParamInterface<Admission> {};

TEST_P(HotSyncSessionTest, AdmitsTheHandheldsUser) {
  const Admission& c = GetParam();
  ASSERT_EQ(HotSync("init"), 0) << output_;
  for (const auto& [name, id] : c.users)
    ASSERT_EQ(HotSync("users add '" + std::string(name) + "' --id " + id), 0) << output_;
  const std::string folder = MakeHandheld(prefix_.path() + "/hh", c.name, c.id);
  std::string error;
  {
    auto handheld = FolderHandheld::Open(folder, CommitAt::kEndOfSync, &error);
    ASSERT_TRUE(handheld) << error;
    SessionOptions options;
    options.where = "the test's handheld";
    options.user = c.option_user;
    options.admit_new_users = c.admit;
    EXPECT_EQ(SynchroniseHandheld(*handheld, options, SyncLock::WhenBusy::kRefuse), c.result)
        << c.what << "\n"
        << output_;
  }
  // Committed at its EndOfSync, which a refused handheld gets too.
  auto after = Handheld::Open(folder, &error);
  ASSERT_TRUE(after) << error;
  EXPECT_EQ(after->user_name(), c.user_after);
  EXPECT_EQ(std::to_string(after->user_id()), c.id_after);
  EXPECT_EQ(after->user().last_sync_pc != 0, c.result == 0);
  EXPECT_TRUE(Contains(Slurp(folder + "/" + kHandheldLog), c.logged))
      << Slurp(folder + "/" + kHandheldLog);
}

INSTANTIATE_TEST_SUITE_P(
    Users, HotSyncSessionTest,
    ::testing::Values(Admission{"by ID",
                                {{"Pat", "4242"}},
                                "Pat",
                                "4242",
                                "",
                                false,
                                0,
                                "Pat",
                                "4242",
                                "HotSync completed"},
                      Admission{"by name, taking the desktop's ID",
                                {{"Pat", "77"}},
                                "pat",
                                "0",
                                "",
                                false,
                                0,
                                "pat",
                                "77",
                                "HotSync completed"},
                      Admission{"new handheld, the only user",
                                {{"Sam", "5"}},
                                "",
                                "0",
                                "",
                                false,
                                0,
                                "Sam",
                                "5",
                                "HotSync completed"},
                      Admission{"new handheld, the named user",
                                {{"Sam", "5"}, {"Kim", "6"}},
                                "",
                                "0",
                                "Kim",
                                false,
                                0,
                                "Kim",
                                "6",
                                "HotSync completed"},
                      Admission{"new handheld, no user to choose",
                                {{"Sam", "5"}, {"Kim", "6"}},
                                "",
                                "0",
                                "",
                                true,
                                1,
                                "",
                                "0",
                                "has no user yet and this desktop has 2 HotSync users"},
                      Admission{"unknown user refused",
                                {},
                                "Newcomer",
                                "0",
                                "",
                                false,
                                1,
                                "Newcomer",
                                "0",
                                "admits no new users"},
                      Admission{"unknown user admitted",
                                {},
                                "Newcomer",
                                "31",
                                "",
                                true,
                                0,
                                "Newcomer",
                                "31",
                                "HotSync completed"}),
    [](const auto& info) { return "Case" + std::to_string(info.index); });

}  // namespace
}  // namespace hotsync::testing
