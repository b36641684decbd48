// The handheld drops the link at a request of a demo-like synchronisation over NetSync:
// every desktop table stays readable, no appraisal is lost, and the next synchronisation
// succeeds. The default run drops at a stride of the requests; with NB_LINK_EVERY=1 set,
//   NB_LINK_EVERY=1 ctest -R DroppedAtEveryRequest
// drops at every one of them (slow: two synchronisations per request).
#include <cstdlib>

#include "link_desk.h"

namespace {

using hotsync::testing::LinkDesk;

void DropAt(int stride) {
  LinkDesk desk;
  if (!desk.skip().empty()) GTEST_SKIP() << desk.skip();
  ASSERT_TRUE(desk.ready());
  ASSERT_TRUE(desk.Start(desk.Listen())) << desk.Output();
  std::string out;
  ASSERT_EQ(desk.Press(desk.NetSync(), &out), 0) << out << desk.Output();
  const int requests = LinkDesk::Requests(out);
  ASSERT_GT(requests, 10) << out;
  const std::set<std::string> clean = desk.Appraisals();
  ASSERT_EQ(clean.size(), 5u);  // 3 on the handheld with the imported one, 2 exported

  // The first and last few, which open and end the session, and a stride between.
  std::set<int> drops = {1, 2, 3, requests - 2, requests - 1, requests};
  for (int n = 3; n < requests; n += stride) drops.insert(n);
  for (int n : drops) {
    SCOPED_TRACE("dropped at request " + std::to_string(n) + " of " + std::to_string(requests));
    desk.Restore();
    ASSERT_TRUE(desk.Start(desk.Listen())) << desk.Output();
    EXPECT_NE(desk.Press(desk.NetSync() + " --drop-after " + std::to_string(n), &out), 0) << out;
    desk.Stop();  // once the desktop is done with the broken synchronisation
    std::string why;
    EXPECT_TRUE(desk.TablesReadable(&why)) << why;

    ASSERT_TRUE(desk.Start(desk.Listen())) << desk.Output();
    EXPECT_EQ(desk.Press(desk.NetSync(), &out), 0) << out << desk.Output();
    desk.Stop();
    EXPECT_TRUE(desk.TablesReadable(&why)) << why;
    const std::set<std::string> now = desk.Appraisals();
    for (const std::string& number : clean) EXPECT_EQ(now.count(number), 1u) << number << " lost";
  }
}

TEST(LinkDropTest, DroppedAtAStrideOfRequestsTheNextSynchronisationRecovers) { DropAt(37); }

TEST(LinkDropTest, DroppedAtEveryRequestTheNextSynchronisationRecovers) {
  if (!std::getenv("NB_LINK_EVERY")) GTEST_SKIP() << "slow: set NB_LINK_EVERY=1";
  DropAt(1);
}

}  // namespace
