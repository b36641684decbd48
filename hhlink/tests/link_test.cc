// Both sides of each framing against each other, over real sockets and terminals.
#include "link_test.h"

#include <pty.h>

#include "hhlink/netsync.h"

namespace nb::link {
namespace {

using testing::Echo;
using testing::Exchange;

const std::vector<size_t> kSizes = {1, 40, 1024, 1025, 5000, 0xFFFF, kMaxPacket, 3};

TEST(NetSyncLink, BothSidesOverASocketPair) {
  int fds[2];
  testing::SocketPair(fds);
  std::thread handheld([fd = fds[1]] {
    std::string error;
    auto link = ConnectNetSync(fd, Faults{}, &error);
    ASSERT_TRUE(link) << error;
    Echo(*link, int(kSizes.size()));
  });
  std::string error;
  auto desktop = AcceptNetSync(fds[0], &error);
  ASSERT_TRUE(desktop) << error;
  EXPECT_TRUE(desktop->KeepAlive());
  Exchange(*desktop, kSizes);
  handheld.join();
  std::vector<uint8_t> none;
  EXPECT_FALSE(desktop->Receive(&none, 1000));
  EXPECT_TRUE(desktop->dead());
  EXPECT_NE(std::string::npos, desktop->error().find("closed the connection")) << desktop->error();
}

TEST(NetSyncLink, BothSidesOverTcpLoopback) {
  std::string error, peer;
  const int listener = ListenTcp("", 0, &error);
  ASSERT_GE(listener, 0) << error;
  const int port = BoundPort(listener);
  ASSERT_GT(port, 0);
  EXPECT_EQ(-1, AcceptConnection(listener, 10, &peer, &error));
  EXPECT_EQ(ETIMEDOUT, errno);
  std::thread handheld([port] {
    std::string error;
    const int fd = ConnectTcp("127.0.0.1", port, &error);
    ASSERT_GE(fd, 0) << error;
    auto link = ConnectNetSync(fd, Faults{}, &error);
    ASSERT_TRUE(link) << error;
    Echo(*link, 3);
  });
  const int fd = AcceptConnection(listener, 10000, &peer, &error);
  ASSERT_GE(fd, 0) << error;
  EXPECT_EQ("127.0.0.1:", peer.substr(0, 10));
  auto desktop = AcceptNetSync(fd, &error);
  ASSERT_TRUE(desktop) << error;
  Exchange(*desktop, {10, 70000 - 64 * 70, 2});
  handheld.join();
  close(listener);
  EXPECT_EQ(-1, ListenTcp("no.such.host", 0, &error));
  EXPECT_NE(std::string::npos, error.find("not a numeric address")) << error;
}

TEST(NetSyncLink, ACorruptedPacketKillsTheLinkCleanly) {
  int fds[2];
  testing::SocketPair(fds);
  std::thread handheld([fd = fds[1]] {
    std::string error;
    Faults faults;
    faults.corrupt_packet = 2;
    auto link = ConnectNetSync(fd, faults, &error);
    ASSERT_TRUE(link) << error;
    Echo(*link, 2);
  });
  std::string error;
  auto desktop = AcceptNetSync(fds[0], &error);
  ASSERT_TRUE(desktop) << error;
  Exchange(*desktop, {5});
  std::vector<uint8_t> answer;
  ASSERT_TRUE(desktop->Send({1, 2, 3}));
  EXPECT_FALSE(desktop->Receive(&answer, 10000));
  EXPECT_EQ("NetSync: unknown packet type 127", desktop->error());
  EXPECT_FALSE(desktop->Send({1}));
  handheld.join();
}

}  // namespace
}  // namespace nb::link
