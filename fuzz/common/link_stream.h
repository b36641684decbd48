// A link's peer played by the fuzzer's bytes: they wait in a socket whose writing end is
// shut, so every read gets them or an end of file at once and no time-out ever runs.
#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

// The descriptor to hand to the link, or -1; *peer is closed by the caller.
inline int LinkStream(const uint8_t* data, size_t size, int* peer) {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return -1;
  const int big = 8 << 20;
  for (int fd : fds) setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &big, sizeof big);
  for (size_t done = 0; done < size;) {
    const ssize_t n = write(fds[1], data + done, size - done);
    if (n <= 0) break;
    done += size_t(n);
  }
  shutdown(fds[1], SHUT_WR);
  *peer = fds[1];
  return fds[0];
}
