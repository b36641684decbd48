// The demo-like synchronisation over a serial line at 115200 (two pseudo-terminals back to
// back): clean, and with an acknowledgement the handheld withholds, early and late (the
// desktop sends again), all ending with the same appraisals; a packet the handheld sends
// broken ends the link, and the next synchronisation brings the same appraisals.
#include "link_desk.h"

namespace {

using hotsync::testing::LinkDesk;
using hotsync::testing::NullModem;

TEST(LinkSerialTest, SynchronisesOverSlpWithLostAcknowledgementsAndBrokenPackets) {
  LinkDesk desk;
  if (!desk.skip().empty()) GTEST_SKIP() << desk.skip();
  ASSERT_TRUE(desk.ready());
  std::set<std::string> clean;
  struct Case {
    const char* faults;
    int status;
  };
  for (const Case& c : {Case{"", 0}, Case{"--withhold-ack 3", 0}, Case{"--withhold-ack 40", 0},
                        Case{"--corrupt-packet 5", 1}}) {
    SCOPED_TRACE(std::string("faults: ") + c.faults);
    desk.Restore();
    NullModem cable;
    ASSERT_TRUE(desk.Start("--port " + cable.end(0))) << desk.Output();
    const std::string line = "--serial " + cable.end(1) + " --baud 115200 ";
    std::string out;
    EXPECT_EQ(desk.Press(line + c.faults, &out), c.status) << out << desk.Output();
    if (c.status != 0) {
      EXPECT_EQ(desk.Press(line, &out), 0) << out << desk.Output();
    }
    desk.Stop();
    if (clean.empty()) clean = desk.Appraisals();
    EXPECT_EQ(clean.size(), 5u);
    EXPECT_EQ(desk.Appraisals(), clean);
  }
}

}  // namespace
