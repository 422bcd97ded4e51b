// A child process on a real pseudo-terminal, as a user at a terminal would run it. Every wait
// has a deadline; a child still alive at the end is killed.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace model_unpack::testing {

using Clock = std::chrono::steady_clock;

constexpr auto kDeadline = std::chrono::seconds(10);

inline bool same_mode(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
         a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

class PtySession {
 public:
  explicit PtySession(std::vector<std::string> argv) {
    if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) throw std::runtime_error("pty");
    tcgetattr(slave_, &original_);
    pid_ = fork();
    if (pid_ == 0) {
      setsid();
      ioctl(slave_, TIOCSCTTY, 0);
      dup2(slave_, 0);
      dup2(slave_, 1);
      dup2(slave_, 2);
      close(master_);
      close(slave_);
      std::vector<char*> args;
      for (std::string& arg : argv) args.push_back(arg.data());
      args.push_back(nullptr);
      execv(args[0], args.data());
      _exit(127);
    }
  }
  ~PtySession() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    close(master_);
    close(slave_);
  }
  PtySession(const PtySession&) = delete;
  PtySession& operator=(const PtySession&) = delete;

  void send(const std::string& keys) {
    ASSERT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }

  // Reads until `needle` has appeared in the output (at `from` or later) (line ends as "\n"); false
  // on deadline.
  bool wait_for(const std::string& needle, std::size_t from = 0) {
    const auto deadline = Clock::now() + kDeadline;
    while (output_.find(needle, from) == std::string::npos) {
      if (Clock::now() > deadline) return false;
      read_some(50);
    }
    return true;
  }

  // Waits for the child to end; its wait status, or -1 (and it is killed) on deadline.
  int wait_exit() {
    const auto deadline = Clock::now() + kDeadline;
    for (;;) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        read_some(50);
        return status;
      }
      if (Clock::now() > deadline) return -1;
      read_some(20);
    }
  }

  // Waits until the terminal's mode satisfies `wanted`.
  template <typename Predicate>
  bool wait_for_mode(Predicate wanted) {
    const auto deadline = Clock::now() + kDeadline;
    while (!wanted(mode())) {
      if (Clock::now() > deadline) return false;
      read_some(20);
    }
    return true;
  }

  termios mode() const {
    termios now{};
    tcgetattr(slave_, &now);
    return now;
  }
  const termios& original() const { return original_; }
  pid_t pid() const { return pid_; }
  const std::string& output() const { return output_; }

 private:
  void read_some(int timeout_ms) {
    pollfd ready{master_, POLLIN, 0};
    if (poll(&ready, 1, timeout_ms) <= 0) return;
    char buffer[4096];
    const ssize_t got = read(master_, buffer, sizeof buffer);
    for (ssize_t i = 0; i < got; ++i) {
      if (buffer[i] != '\r') output_.push_back(buffer[i]);
    }
  }

  int master_ = -1;
  int slave_ = -1;
  pid_t pid_ = -1;
  bool exited_ = false;
  termios original_{};
  std::string output_;
};

inline bool in_keyboard_mode(const termios& mode) {
  return (mode.c_lflag & (ICANON | ECHO)) == 0;
}

}  // namespace model_unpack::testing
