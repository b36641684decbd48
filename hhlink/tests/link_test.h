// Both ends of a link in one test: the handheld side runs on a thread of its own.
#pragma once

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "hhlink/packet_link.h"

namespace nb::link::testing {

inline std::vector<uint8_t> Bytes(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = uint8_t(seed + i * 7);
  return v;
}

inline void SocketPair(int fds[2]) { ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, fds)); }

// The handheld answers each request with its bytes reversed until `requests` are served.
inline void Echo(PacketLink& handheld, int requests) {
  std::vector<uint8_t> in;
  for (int i = 0; i < requests && handheld.Receive(&in, 10000); ++i) {
    handheld.KeepAlive();
    std::vector<uint8_t> out(in.rbegin(), in.rend());
    if (!handheld.Send(out)) return;
  }
}

// Sends each of `sizes` and checks the echoed answer.
inline void Exchange(PacketLink& desktop, const std::vector<size_t>& sizes) {
  for (size_t i = 0; i < sizes.size(); ++i) {
    const auto request = Bytes(sizes[i], uint8_t(i));
    ASSERT_TRUE(desktop.Send(request)) << desktop.error();
    std::vector<uint8_t> answer;
    ASSERT_TRUE(desktop.Receive(&answer, 10000)) << desktop.error();
    EXPECT_EQ(std::vector<uint8_t>(request.rbegin(), request.rend()), answer) << "request " << i;
  }
}

}  // namespace nb::link::testing
