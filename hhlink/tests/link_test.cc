// Both sides of each framing against each other, over real sockets and terminals.
#include "link_test.h"

#include <pty.h>
#include <termios.h>

#include "hhlink/netsync.h"
#include "hhlink/serial.h"

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

// A pseudo-terminal pair: the desktop opens the terminal end as a serial line, the
// handheld holds the other.
struct Pty {
  int handheld = -1, desktop = -1;
  Pty() {
    int terminal;
    char name[256];
    EXPECT_EQ(0, openpty(&handheld, &terminal, name, nullptr, nullptr));
    std::string error;
    desktop = OpenSerialLine(name, &error);
    EXPECT_GE(desktop, 0) << error;
    close(terminal);
  }
};

std::unique_ptr<PacketLink> SerialPair(const Faults& faults, std::thread* handheld, int requests) {
  Pty pty;
  *handheld = std::thread([fd = pty.handheld, faults, requests] {
    std::string error;
    auto link = ConnectSerial(fd, 115200, faults, &error);
    ASSERT_TRUE(link) << error;
    Echo(*link, requests);
  });
  std::string error;
  const int probe = dup(pty.desktop);
  auto desktop = AcceptOnLine(pty.desktop, 115200, &error);
  EXPECT_TRUE(desktop) << error;
  termios line;
  EXPECT_EQ(0, tcgetattr(probe, &line));
  EXPECT_EQ(speed_t(B115200), cfgetospeed(&line));  // the speed CMP agreed on
  close(probe);
  return desktop;
}

TEST(SerialLink, BothSidesOverAPseudoTerminalAt115200) {
  std::thread handheld;
  auto desktop = SerialPair(Faults{}, &handheld, int(kSizes.size()));
  ASSERT_TRUE(desktop);
  EXPECT_TRUE(desktop->KeepAlive());
  Exchange(*desktop, kSizes);
  handheld.join();
}

TEST(SerialLink, AWithheldAcknowledgementIsRecoveredByTheDesktopsRetry) {
  Faults faults;
  faults.withhold_ack = 2;
  std::thread handheld;
  auto desktop = SerialPair(faults, &handheld, 3);
  ASSERT_TRUE(desktop);
  Exchange(*desktop, {20, 3000, 7});
  handheld.join();
}

TEST(SerialLink, ACorruptedFrameKillsTheLinkCleanly) {
  Faults faults;
  faults.corrupt_packet = 1;
  std::thread handheld;
  auto desktop = SerialPair(faults, &handheld, 1);
  ASSERT_TRUE(desktop);
  std::vector<uint8_t> answer;
  ASSERT_TRUE(desktop->Send({1, 2, 3}));
  EXPECT_FALSE(desktop->Receive(&answer, 10000));
  EXPECT_EQ("serial link: bad SLP frame CRC", desktop->error());
  EXPECT_FALSE(desktop->Send({1}));
  desktop.reset();
  handheld.join();
}

TEST(SerialLink, NetSyncFramingOnALineIsRecognised) {
  Pty pty;
  std::thread handheld([fd = pty.handheld] {
    std::string error;
    auto link = ConnectNetSync(fd, Faults{}, &error);
    ASSERT_TRUE(link) << error;
    Echo(*link, 2);  // the second waits until the desktop is done: a closed end loses data
  });
  std::string error;
  auto desktop = AcceptOnLine(pty.desktop, 115200, &error);
  ASSERT_TRUE(desktop) << error;
  Exchange(*desktop, {300});
  desktop.reset();
  handheld.join();
}

}  // namespace
}  // namespace nb::link
