// The valtrix program run as a real process for tests: installed in a program folder of
// the test's desktop as a symbolic link, its progress lines read from its standard
// output, stopped with SIGTERM.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/bus.h"

namespace valtrix::testing {

class ValtrixProcess {
 public:
  // Starts `folder`/valtrix (a link to the built program, made when missing).
  explicit ValtrixProcess(const std::string& folder) : folder_(folder) {
    std::filesystem::create_directories(folder);
    std::string link = folder + "/valtrix";
    if (!std::filesystem::exists(link))
      std::filesystem::create_symlink(NB_BIN_DIR "/valtrix", link);
    int out[2];
    if (pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], 1);
      close(out[0]);
      close(out[1]);
      execl(link.c_str(), link.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    out_ = out[0];
    fcntl(out_, F_SETFL, O_NONBLOCK);
  }

  ~ValtrixProcess() {
    Stop();
    if (out_ >= 0) close(out_);
  }

  // Waits until the form's window is on the bus.
  bool WaitForWindow(nb::bus::WindowInfo* info = nullptr, int timeout_ms = 10000) {
    for (int waited = 0; waited < timeout_ms; waited += 20) {
      for (const auto& w : nb::bus::Windows())
        if (w.pid == pid_ && w.window_class == "frmValtrix") {
          if (info) *info = w;
          return true;
        }
      if (Exited()) return false;
      usleep(20000);
    }
    return false;
  }

  // Waits for a progress line containing `text`; true when seen.
  bool WaitForLine(const std::string& text, int timeout_ms = 10000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (true) {
      for (size_t i = seen_; i < lines_.size(); ++i)
        if (lines_[i].find(text) != std::string::npos) {
          seen_ = i + 1;
          return true;
        }
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                      deadline - std::chrono::steady_clock::now())
                      .count();
      if (left <= 0) return false;
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, int(left)) > 0 && !ReadLines()) return false;
    }
  }

  // Exit status once ended, waiting up to timeout_ms; -1 while it runs.
  int Wait(int timeout_ms = 10000) {
    for (int waited = 0; waited <= timeout_ms; waited += 10) {
      if (Exited()) return status_;
      usleep(10000);
    }
    return -1;
  }

  void Stop() {
    if (pid_ <= 0 || Exited()) return;
    kill(pid_, SIGTERM);
    if (Wait(5000) < 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }

  int pid() const { return pid_; }
  std::string Output() {
    ReadLines();
    std::string all;
    for (const auto& l : lines_) all += l + "\n";
    return all;
  }

 private:
  bool Exited() {
    if (pid_ <= 0) return true;
    int st;
    if (waitpid(pid_, &st, WNOHANG) == pid_) {
      status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
      pid_ = -1;
      return true;
    }
    return false;
  }

  // False at end of output.
  bool ReadLines() {
    char buf[4096];
    ssize_t n;
    bool open = true;
    while ((n = read(out_, buf, sizeof buf)) != 0) {
      if (n < 0) break;
      partial_.append(buf, size_t(n));
    }
    if (n == 0) open = false;
    size_t nl;
    while ((nl = partial_.find('\n')) != std::string::npos) {
      lines_.push_back(partial_.substr(0, nl));
      partial_.erase(0, nl + 1);
    }
    return open;
  }

  std::string folder_;
  int pid_ = -1;
  int out_ = -1;
  int status_ = -1;
  std::vector<std::string> lines_;
  size_t seen_ = 0;
  std::string partial_;
};

}  // namespace valtrix::testing
