#include "line.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/os.h"

namespace nb::link {

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

Line::Line(int fd, std::string peer) : fd_(fd), peer_(std::move(peer)) {
  const int flags = TheOs().Fcntl(fd_, F_GETFL, 0);
  if (flags >= 0) TheOs().Fcntl(fd_, F_SETFL, flags | O_NONBLOCK);
}

Line::~Line() {
  if (fd_ >= 0) TheOs().Close(fd_);
}

bool Line::Wait(short events, int64_t deadline, std::string* error) {
  for (;;) {
    const int64_t left = deadline - NowMs();
    if (left <= 0) {
      *error = events == POLLIN ? "the " + peer_ + " sent nothing in time"
                                : "the " + peer_ + " took nothing in time";
      return false;
    }
    pollfd p{fd_, events, 0};
    const int n = TheOs().Poll(&p, 1, int(std::min<int64_t>(left, 1 << 30)));
    if (n > 0) return true;  // readiness, or a hang-up the read or write will report
    if (n < 0 && errno != EINTR) {
      *error = std::string("cannot wait for the ") + peer_ + ": " + strerror(errno);
      return false;
    }
  }
}

bool Line::Read(uint8_t* data, size_t n, int timeout_ms, std::string* error) {
  const size_t early = std::min(n, ahead_.size());
  std::copy_n(ahead_.begin(), early, data);
  ahead_.erase(ahead_.begin(), ahead_.begin() + early);
  const int64_t deadline = NowMs() + timeout_ms;
  for (size_t got = early; got < n;) {
    if (!Wait(POLLIN, deadline, error)) return false;
    const ssize_t r = TheOs().Read(fd_, data + got, n - got);
    if (r > 0) {
      got += size_t(r);
    } else if (r == 0 || errno == EIO || errno == ECONNRESET) {
      // A pseudo-terminal whose other end closed reads EIO: the same hang-up.
      *error = "the " + peer_ + " closed the connection";
      return false;
    } else if (errno != EINTR && errno != EAGAIN) {
      *error = std::string("cannot read from the ") + peer_ + ": " + strerror(errno);
      return false;
    }
  }
  return true;
}

bool Line::Write(const uint8_t* data, size_t n, std::string* error) {
  // Small pieces to a terminal: it takes what fits its buffer.
  constexpr size_t kPiece = 256;
  const int64_t deadline = NowMs() + 30000;
  for (size_t done = 0; done < n;) {
    if (!Wait(POLLOUT, deadline, error)) return false;
    const size_t piece = socket_ ? n - done : std::min(kPiece, n - done);
    ssize_t w = -1;
    if (socket_) {
      w = TheOs().Send(fd_, data + done, piece, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (w < 0 && errno == ENOTSOCK) {
        socket_ = false;
        continue;
      }
    } else {
      w = TheOs().Write(fd_, data + done, piece);
    }
    if (w > 0) {
      done += size_t(w);
    } else if (w < 0 && (errno == EPIPE || errno == ECONNRESET || errno == EIO)) {
      *error = "the " + peer_ + " closed the connection";
      return false;
    } else if (w < 0 && errno != EINTR && errno != EAGAIN) {
      *error = std::string("cannot write to the ") + peer_ + ": " + strerror(errno);
      return false;
    }
  }
  return true;
}

bool Line::Readable(int timeout_ms) {
  if (!ahead_.empty()) return true;
  std::string ignored;
  return Wait(POLLIN, NowMs() + timeout_ms, &ignored);
}

void Line::Unread(const uint8_t* data, size_t n) { ahead_.insert(ahead_.begin(), data, data + n); }

}  // namespace nb::link
