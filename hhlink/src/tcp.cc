// TCP sockets for NetSync: listening, accepting with a time-out, connecting.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "hhlink/netsync.h"
#include "platform/os.h"

namespace nb::link {
namespace {

// A numeric IPv4 or IPv6 address, or "localhost"; empty means loopback.
bool Resolve(const std::string& host, int port, sockaddr_storage* out, socklen_t* length) {
  memset(out, 0, sizeof *out);
  const std::string name = host.empty() || host == "localhost" ? "127.0.0.1" : host;
  auto* v4 = reinterpret_cast<sockaddr_in*>(out);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(out);
  if (port < 0 || port > 65535) return false;
  if (inet_pton(AF_INET, name.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(uint16_t(port));
    *length = sizeof *v4;
    return true;
  }
  const std::string bare = name.size() > 2 && name.front() == '[' && name.back() == ']'
                               ? name.substr(1, name.size() - 2)
                               : name;
  if (inet_pton(AF_INET6, bare.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(uint16_t(port));
    *length = sizeof *v6;
    return true;
  }
  return false;
}

std::string Text(const sockaddr_storage& address) {
  char text[INET6_ADDRSTRLEN] = "?";
  int port = 0;
  if (address.ss_family == AF_INET) {
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
    inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text);
    port = ntohs(v4.sin_port);
  } else if (address.ss_family == AF_INET6) {
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
    inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
    return std::string("[") + text + "]:" + std::to_string(ntohs(v6.sin6_port));
  }
  return std::string(text) + ":" + std::to_string(port);
}

int Failed(int fd, const std::string& what, std::string* error) {
  const int err = errno;
  *error = what + ": " + strerror(err);
  if (fd >= 0) TheOs().Close(fd);
  errno = err;
  return -1;
}

// DLP is small requests and answers in turn: without this each waits on the delayed ack.
void NoDelay(int fd) {
  const int on = 1;
  TheOs().SetSockOpt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

}  // namespace

int ListenTcp(const std::string& address, int port, std::string* error) {
  sockaddr_storage where;
  socklen_t length;
  const std::string text = (address.empty() ? "127.0.0.1" : address) + ":" + std::to_string(port);
  if (!Resolve(address, port, &where, &length)) {
    *error = "cannot listen on " + text + ": not a numeric address and port";
    return -1;
  }
  const int fd = TheOs().Socket(where.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return Failed(-1, "cannot listen on " + text, error);
  const int on = 1;
  TheOs().SetSockOpt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (TheOs().Bind(fd, reinterpret_cast<sockaddr*>(&where), length) != 0 ||
      TheOs().Listen(fd, 4) != 0) {
    return Failed(fd, "cannot listen on " + text, error);
  }
  return fd;
}

int BoundPort(int fd) {
  sockaddr_storage where;
  socklen_t length = sizeof where;
  if (TheOs().GetSockName(fd, reinterpret_cast<sockaddr*>(&where), &length) != 0) return -1;
  if (where.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in&>(where).sin_port);
  if (where.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6&>(where).sin6_port);
  return -1;
}

int AcceptConnection(int listen_fd, int timeout_ms, std::string* peer, std::string* error) {
  pollfd p{listen_fd, POLLIN, 0};
  int n;
  while ((n = TheOs().Poll(&p, 1, timeout_ms)) < 0 && errno == EINTR) {
  }
  if (n == 0) {
    *error = "no handheld connected in time";
    errno = ETIMEDOUT;
    return -1;
  }
  if (n < 0) return Failed(-1, "cannot wait for a handheld", error);
  sockaddr_storage from;
  socklen_t length = sizeof from;
  const int fd = TheOs().Accept(listen_fd, reinterpret_cast<sockaddr*>(&from), &length);
  if (fd < 0) return Failed(-1, "cannot accept a connection", error);
  NoDelay(fd);
  if (peer) *peer = Text(from);
  return fd;
}

int ConnectTcp(const std::string& host, int port, std::string* error) {
  sockaddr_storage where;
  socklen_t length;
  const std::string text = host + ":" + std::to_string(port);
  if (!Resolve(host, port, &where, &length)) {
    *error = "cannot connect to " + text + ": not a numeric address and port";
    return -1;
  }
  const int fd = TheOs().Socket(where.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return Failed(-1, "cannot connect to " + text, error);
  int r;
  while ((r = TheOs().Connect(fd, reinterpret_cast<sockaddr*>(&where), length)) != 0 &&
         errno == EINTR) {
  }
  if (r != 0) return Failed(fd, "cannot connect to " + text, error);
  NoDelay(fd);
  return fd;
}

}  // namespace nb::link
