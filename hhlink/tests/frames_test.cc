// Malformed frames from a peer: each is refused with its reason and the link dies.
#include <unistd.h>

#include "hhlink/netsync.h"
#include "link_test.h"

namespace nb::link {
namespace {

struct Bad {
  const char* name;
  std::vector<uint8_t> bytes;  // what the handheld sends for an answer
  bool hang_up;                // and then closes its end
  const char* reason;
};

TEST(NetSyncFrames, MalformedAnswersAreRefused) {
  const Bad cases[] = {
      {"unknown type", {5, 1, 0, 0, 0, 1, 0}, false, "unknown packet type 5"},
      {"lying length", {1, 1, 0x7f, 0xff, 0xff, 0xff}, false, "larger than the protocol allows"},
      {"tickle with data", {2, 0xff, 0, 0, 0, 1, 9}, false, "tickle carrying 1 bytes"},
      {"wrong transaction", {1, 7, 0, 0, 0, 1, 9}, false, "out-of-order transaction ID 7"},
      {"length beyond data", {1, 1, 0, 0, 0, 100, 1, 2}, false, "sent nothing in time"},
      {"cut short", {1, 1, 0, 0}, true, "closed the connection"},
  };
  for (const Bad& bad : cases) {
    int fds[2];
    testing::SocketPair(fds);
    std::string error;
    std::unique_ptr<PacketLink> handheld;
    std::thread opener([&] { handheld = ConnectNetSync(dup(fds[1]), Faults{}, &error); });
    auto desktop = AcceptNetSync(fds[0], &error);
    opener.join();
    ASSERT_TRUE(desktop && handheld) << error;
    ASSERT_TRUE(desktop->Send({0x10}));
    ASSERT_EQ(ssize_t(bad.bytes.size()), write(fds[1], bad.bytes.data(), bad.bytes.size()));
    if (bad.hang_up) handheld.reset(), close(fds[1]);
    std::vector<uint8_t> answer;
    EXPECT_FALSE(desktop->Receive(&answer, 300)) << bad.name;
    EXPECT_TRUE(desktop->dead()) << bad.name;
    EXPECT_NE(std::string::npos, desktop->error().find(bad.reason))
        << bad.name << ": " << desktop->error();
    if (!bad.hang_up) close(fds[1]);
  }
}

}  // namespace
}  // namespace nb::link
