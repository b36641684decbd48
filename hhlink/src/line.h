// A descriptor carrying a link's bytes, read and written whole with every wait bounded: the
// ground both framings stand on. Owns the descriptor and closes it. Bytes read ahead while
// telling the framings apart are handed back with Unread and come first. Failures are
// false with *error saying what happened in words ("the handheld closed the connection").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace nb::link {

class Line {
 public:
  // `peer` names the other end in messages: "handheld" or "desktop".
  // Makes the descriptor non-blocking: a write never waits past its time-out.
  Line(int fd, std::string peer);
  ~Line();
  Line(const Line&) = delete;
  Line& operator=(const Line&) = delete;

  int fd() const { return fd_; }
  const std::string& peer() const { return peer_; }
  // Exactly n bytes, the whole read within timeout_ms.
  bool Read(uint8_t* data, size_t n, int timeout_ms, std::string* error);
  bool Write(const uint8_t* data, size_t n, std::string* error);
  bool Write(const std::vector<uint8_t>& bytes, std::string* error) {
    return Write(bytes.data(), bytes.size(), error);
  }
  void Unread(const uint8_t* data, size_t n);
  // True when a byte arrives within timeout_ms; false on a time-out, or when waiting fails.
  bool Readable(int timeout_ms);

 private:
  // Waits for `events` until the deadline (ms of the steady clock); false with *error.
  bool Wait(short events, int64_t deadline, std::string* error);
  int fd_;
  std::string peer_;
  std::vector<uint8_t> ahead_;
  bool socket_ = true;  // until send(2) says otherwise
};

// Milliseconds of the steady clock, for deadlines.
int64_t NowMs();

}  // namespace nb::link
