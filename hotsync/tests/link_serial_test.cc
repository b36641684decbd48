// The demo-like synchronisation over a serial line at 115200 (two pseudo-terminals back to
// back): clean, with an acknowledgement the handheld withholds (the desktop sends again)
// and with a packet it sends broken (the desktop never acknowledges it, the handheld sends
// again). Each ends with the same appraisals.
#include "link_desk.h"

namespace {

using hotsync::testing::LinkDesk;
using hotsync::testing::NullModem;

TEST(LinkSerialTest, SynchronisesOverSlpWithLostAcknowledgementsAndBrokenPackets) {
  LinkDesk desk;
  if (!desk.skip().empty()) GTEST_SKIP() << desk.skip();
  ASSERT_TRUE(desk.ready());
  std::set<std::string> clean;
  for (const char* faults : {"", "--withhold-ack 3", "--corrupt-packet 4", "--withhold-ack 40"}) {
    SCOPED_TRACE(std::string("faults: ") + faults);
    desk.Restore();
    NullModem cable;
    ASSERT_TRUE(desk.Start("--port " + cable.end(0))) << desk.Output();
    std::string out;
    EXPECT_EQ(desk.Press("--serial " + cable.end(1) + " --baud 115200 " + faults, &out), 0)
        << out << desk.Output();
    desk.Stop();
    if (clean.empty()) clean = desk.Appraisals();
    EXPECT_EQ(clean.size(), 5u);
    EXPECT_EQ(desk.Appraisals(), clean);
  }
}

}  // namespace
