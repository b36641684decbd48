// Malformed frames from a peer: each is refused with its reason and the link dies.
#include <unistd.h>

#include "hhlink/cmp.h"
#include "hhlink/netsync.h"
#include "hhlink/padp.h"
#include "hhlink/serial.h"
#include "hhlink/slp.h"
#include "link_test.h"

namespace nb::link {
namespace {

struct Bad {
  const char* name;
  std::vector<uint8_t> bytes;  // what the handheld sends for an answer
  const char* reason;
};

// Opens both sides over a socket pair, sends one request the handheld takes, writes
// `bad` as the handheld's answer and expects the desktop to refuse it.
template <typename Open>
void ExpectRefused(const Bad& bad, Open open) {
  int fds[2];
  testing::SocketPair(fds);
  std::unique_ptr<PacketLink> desktop, handheld;
  std::thread side([&] { handheld = open(dup(fds[1]), false); });
  desktop = open(fds[0], true);
  side.join();
  ASSERT_TRUE(desktop && handheld) << bad.name;
  std::vector<uint8_t> request;
  side = std::thread([&] { handheld->Receive(&request, 5000); });
  ASSERT_TRUE(desktop->Send({0x10})) << desktop->error();
  side.join();
  if (bad.bytes.empty()) handheld.reset(), close(fds[1]);
  if (!bad.bytes.empty()) {
    ASSERT_EQ(ssize_t(bad.bytes.size()), write(fds[1], bad.bytes.data(), bad.bytes.size()));
  }
  std::vector<uint8_t> answer;
  EXPECT_FALSE(desktop->Receive(&answer, 300)) << bad.name;
  EXPECT_TRUE(desktop->dead()) << bad.name;
  EXPECT_NE(std::string::npos, desktop->error().find(bad.reason))
      << bad.name << ": " << desktop->error();
  if (!bad.bytes.empty()) close(fds[1]);
}

TEST(NetSyncFrames, MalformedAnswersAreRefused) {
  const Bad cases[] = {
      {"unknown type", {5, 1, 0, 0, 0, 1, 0}, "unknown packet type 5"},
      {"lying length", {1, 1, 0x7f, 0xff, 0xff, 0xff}, "larger than the protocol allows"},
      {"tickle with data", {2, 0xff, 0, 0, 0, 1, 9}, "tickle carrying 1 bytes"},
      {"wrong transaction", {1, 7, 0, 0, 0, 1, 9}, "out-of-order transaction ID 7"},
      {"length beyond data", {1, 1, 0, 0, 0, 100, 1, 2}, "sent nothing in time"},
      {"hang-up", {}, "closed the connection"},
  };
  for (const Bad& bad : cases) {
    ExpectRefused(bad, [](int fd, bool desktop) {
      std::string error;
      return desktop ? AcceptNetSync(fd, &error) : ConnectNetSync(fd, Faults{}, &error);
    });
  }
}

// A PADP data packet in an SLP frame; `edit` changes the frame's bytes after it is built.
std::vector<uint8_t> Frame(uint8_t xid, std::vector<uint8_t> padp,
                           void (*edit)(std::vector<uint8_t>&) = nullptr) {
  SlpHeader header;
  header.xid = xid;
  auto frame = BuildSlpFrame(header, padp);
  if (edit) edit(frame);
  return frame;
}

std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<uint8_t> Data(uint8_t flags, uint32_t size, size_t n) {
  const auto body = testing::Bytes(n, 3);
  return BuildPadp(kPadpData, flags, size, body.data(), body.size());
}

void Checksummed(std::vector<uint8_t>& f) {  // header checksum fixed after an edit
  f[9] = 0;
  for (int i = 0; i < 9; ++i) f[9] = uint8_t(f[9] + f[i]);
}

TEST(SerialFrames, MalformedAnswersAreRefused) {
  const uint8_t fl = kPadpFirst | kPadpLast;
  const Bad cases[] = {
      {"signature", Frame(1, Data(fl, 2, 2), [](auto& f) { f[2] = 0xEE; }), "signature missing"},
      {"header checksum", Frame(1, Data(fl, 2, 2), [](auto& f) { f[9]++; }), "header checksum"},
      {"socket", Frame(1, Data(fl, 2, 2), [](auto& f) { f[3] = 2, Checksummed(f); }), "not DLP's"},
      {"SLP type", Frame(1, Data(fl, 2, 2), [](auto& f) { f[5] = 3, Checksummed(f); }),
       "unknown SLP packet type 3"},
      {"oversize frame", Frame(1, Data(fl, 2, 2), [](auto& f) { f[6] = 0x20, Checksummed(f); }),
       "larger than the protocol allows"},
      {"CRC", Frame(1, Data(fl, 2, 2), [](auto& f) { f.back() ^= 1; }), "bad SLP frame CRC"},
      {"PADP type", Frame(1, {5, fl, 0, 0}), "unknown PADP packet type 5"},
      {"lying length", Frame(1, Data(fl, 5, 10)), "does not fit the packet's length"},
      {"oversize packet", Frame(1, Data(kPadpFirst | kPadpLongForm, 0x20000, 4)),
       "larger than the protocol allows"},
      {"transaction", Frame(9, Data(fl, 2, 2)), "out-of-order transaction ID 9"},
      {"no first fragment", Frame(1, Data(kPadpLast, 0, 2)), "fragment out of order"},
      {"short fragments", Frame(1, Data(kPadpFirst, 40, 1)) + Frame(1, Data(kPadpLast, 1, 2)),
       "ends at the wrong length"},
      {"abort", Frame(1, {kPadpAbort, 0, 0, 0}), "aborted the link"},
      {"cut short", std::vector<uint8_t>{0xBE, 0xEF, 0xED, 3}, "sent nothing in time"},
      {"hang-up", {}, "closed the connection"},
  };
  for (const Bad& bad : cases) {
    ExpectRefused(bad, [](int fd, bool desktop) {
      std::string error;
      return desktop ? AcceptSerial(fd, 9600, &error) : ConnectSerial(fd, 9600, Faults{}, &error);
    });
  }
  CmpPacket cmp;
  std::string why;
  const uint8_t cmp_bytes[10] = {7, 0, 1, 1, 0, 0, 0, 0, 0x25, 0x80};
  EXPECT_FALSE(ParseCmp(cmp_bytes, 9, &cmp, &why));
  EXPECT_EQ("CMP packet of 9 bytes, not 10", why);
  EXPECT_FALSE(ParseCmp(cmp_bytes, 10, &cmp, &why));
  EXPECT_EQ("unknown CMP packet type 7", why);
}

}  // namespace
}  // namespace nb::link
