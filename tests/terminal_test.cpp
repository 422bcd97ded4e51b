// The real binary on a real pseudo-terminal: keys, names, signals and the terminal's modes.
// Every wait has a deadline; a child still alive at the end is killed.
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
#include <string>
#include <thread>
#include <vector>

#include "model_builder.h"
#include "test_support.h"

namespace model_unpack {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kDeadline = 10s;
constexpr const char* kPrompt = "Esc to exit. Press '1' to enter file name\n";

bool same_mode(const termios& a, const termios& b) {
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

  // Reads until `needle` has appeared in the output (line ends as "\n"); false on deadline.
  bool wait_for(const std::string& needle) {
    const auto deadline = Clock::now() + kDeadline;
    while (output_.find(needle) == std::string::npos) {
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

bool in_keyboard_mode(const termios& mode) {
  return (mode.c_lflag & (ICANON | ECHO)) == 0;
}

class TerminalTest : public ::testing::Test {
 protected:
  testing::ScratchDirectory directory_;
};

TEST_F(TerminalTest, EscFirstPrintsThePromptAndRestoresTheTerminal) {
  PtySession tool({MODEL_UNPACK_BINARY});
  ASSERT_TRUE(tool.wait_for(kPrompt));
  ASSERT_TRUE(tool.wait_for_mode(in_keyboard_mode));
  EXPECT_TRUE(tool.mode().c_lflag & ISIG) << "Ctrl-C stays a signal";
  tool.send("\x1b");
  const int status = tool.wait_exit();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(tool.output(), kPrompt);
  EXPECT_TRUE(same_mode(tool.mode(), tool.original()));
}

TEST_F(TerminalTest, IgnoredKeysArrowsAndF5PrintNothing) {
  PtySession tool({MODEL_UNPACK_BINARY});
  ASSERT_TRUE(tool.wait_for(kPrompt));
  tool.send(
      "abc\x1b[A\x1bOB\x1b[15~\x1b[1;5C"
      "2");
  std::this_thread::sleep_for(200ms);
  tool.send("\x1b");
  ASSERT_NE(tool.wait_exit(), -1);
  EXPECT_EQ(tool.output(), kPrompt);
}

TEST_F(TerminalTest, TwoWordsOnOneLineServeTwoJobs) {
  testing::ModelBuilder().header("castle header").write("castle.zmdl");
  PtySession tool({MODEL_UNPACK_BINARY});
  ASSERT_TRUE(tool.wait_for(kPrompt));
  tool.send("1");
  ASSERT_TRUE(tool.wait_for("Enter filename: "));
  tool.send("castle extra\n");
  ASSERT_TRUE(tool.wait_for("Header of file: castle header\n"));
  ASSERT_TRUE(tool.wait_for(std::string("\n\n") + kPrompt));
  tool.send("1");  // the second word is already waiting
  ASSERT_TRUE(
      tool.wait_for("Input file: extra.zmdl   \noutput file: extra.txt   \n"
                    "Error opening input file :(\n\n" +
                    std::string(kPrompt)));
  tool.send("\x1b");
  ASSERT_NE(tool.wait_exit(), -1);
  EXPECT_TRUE(testing::exists("castle.txt"));
  EXPECT_TRUE(same_mode(tool.mode(), tool.original()));
}

TEST_F(TerminalTest, KeysTypedAheadOfThePromptBecomePartOfTheName) {
  PtySession tool({MODEL_UNPACK_BINARY});
  ASSERT_TRUE(tool.wait_for(kPrompt));
  ASSERT_TRUE(tool.wait_for_mode(in_keyboard_mode));
  tool.send("1ahead\n");
  ASSERT_TRUE(tool.wait_for("Input file: ahead.zmdl   \n"));
  tool.send("\x1b");
  ASSERT_NE(tool.wait_exit(), -1);
}

TEST_F(TerminalTest, TooLongNameIsRefused) {
  PtySession tool({MODEL_UNPACK_BINARY});
  ASSERT_TRUE(tool.wait_for(kPrompt));
  tool.send("1");
  ASSERT_TRUE(tool.wait_for("Enter filename: "));
  tool.send(std::string(300, 'n') + "\n");
  ASSERT_TRUE(tool.wait_for("File name too long :(\n\n" + std::string(kPrompt)));
  tool.send("\x1b");
  ASSERT_NE(tool.wait_exit(), -1);
}

TEST_F(TerminalTest, CtrlDAtTheNamePromptRunsTheEmptyNameAndAsksAgainLater) {
  PtySession tool({MODEL_UNPACK_BINARY});
  ASSERT_TRUE(tool.wait_for(kPrompt));
  tool.send("1");
  ASSERT_TRUE(tool.wait_for("Enter filename: "));
  tool.send("\x04");
  ASSERT_TRUE(tool.wait_for("Input file: .zmdl   \n"));
  ASSERT_TRUE(tool.wait_for(std::string("\n\n") + kPrompt));
  tool.send("1");
  ASSERT_TRUE(tool.wait_for("Enter filename: "));
  tool.send("again\n");
  ASSERT_TRUE(tool.wait_for("Input file: again.zmdl   \n"));
  tool.send("\x1b");
  ASSERT_NE(tool.wait_exit(), -1);
}

TEST_F(TerminalTest, ModelThatIsADirectoryIsReportedAndTheTerminalRestored) {
  std::filesystem::create_directory("dir.zmdl");
  PtySession tool({MODEL_UNPACK_BINARY});
  ASSERT_TRUE(tool.wait_for(kPrompt));
  tool.send("1");
  ASSERT_TRUE(tool.wait_for("Enter filename: "));
  tool.send("dir\n");
  ASSERT_TRUE(tool.wait_for("Error opening input file :(\n\n" + std::string(kPrompt)));
  tool.send("\x1b");
  const int status = tool.wait_exit();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(same_mode(tool.mode(), tool.original()));
}

class SignalTest : public TerminalTest, public ::testing::WithParamInterface<int> {};

TEST_P(SignalTest, RestoresTheTerminalThenDiesByTheSignal) {
  PtySession tool({MODEL_UNPACK_BINARY});
  ASSERT_TRUE(tool.wait_for(kPrompt));
  ASSERT_TRUE(tool.wait_for_mode(in_keyboard_mode));
  kill(tool.pid(), GetParam());
  const int status = tool.wait_exit();
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
  EXPECT_EQ(WTERMSIG(status), GetParam());
  EXPECT_TRUE(same_mode(tool.mode(), tool.original()));
}

INSTANTIATE_TEST_SUITE_P(FatalSignals, SignalTest,
                         ::testing::Values(SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGABRT));

TEST_F(TerminalTest, CtrlCFromTheKeyboardRestoresTheTerminal) {
  PtySession tool({MODEL_UNPACK_BINARY});
  ASSERT_TRUE(tool.wait_for(kPrompt));
  ASSERT_TRUE(tool.wait_for_mode(in_keyboard_mode));
  tool.send("\x03");
  const int status = tool.wait_exit();
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGINT);
  EXPECT_TRUE(same_mode(tool.mode(), tool.original()));
}

TEST_F(TerminalTest, CtrlZRestoresTheTerminalAndFgReentersKeyboardMode) {
  PtySession shell({STOP_SHIM_BINARY, MODEL_UNPACK_BINARY});
  ASSERT_TRUE(shell.wait_for(kPrompt));
  ASSERT_TRUE(shell.wait_for_mode(in_keyboard_mode));
  shell.send("\x1a");
  ASSERT_TRUE(shell.wait_for("[stopped]\n"));
  EXPECT_TRUE(same_mode(shell.mode(), shell.original()));
  shell.send("fg\n");
  ASSERT_TRUE(shell.wait_for("[continued]\n"));
  ASSERT_TRUE(shell.wait_for_mode(in_keyboard_mode));
  shell.send("\x1b");
  ASSERT_TRUE(shell.wait_for("[exit 0]\n"));
  EXPECT_TRUE(same_mode(shell.mode(), shell.original()));
}

TEST(NoTerminal, WithoutAConsoleKeyboardTheToolSaysSoAndFails) {
  int out_pipe[2];
  int err_pipe[2];
  ASSERT_EQ(pipe(out_pipe), 0);
  ASSERT_EQ(pipe(err_pipe), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    setsid();  // no controlling terminal: /dev/tty cannot be opened
    const int null_in = open("/dev/null", O_RDONLY);
    dup2(null_in, 0);
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    execl(MODEL_UNPACK_BINARY, MODEL_UNPACK_BINARY, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  int status = -1;
  const auto deadline = Clock::now() + kDeadline;
  while (waitpid(pid, &status, WNOHANG) != pid) {
    if (Clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      FAIL() << "the tool did not end";
    }
    std::this_thread::sleep_for(10ms);
  }
  char out[256] = {};
  char err[256] = {};
  const ssize_t out_size = read(out_pipe[0], out, sizeof out);
  const ssize_t err_size = read(err_pipe[0], err, sizeof err);
  close(out_pipe[0]);
  close(err_pipe[0]);
  EXPECT_EQ(out_size, 0);
  EXPECT_EQ(std::string(err, err_size > 0 ? err_size : 0), "Error: no console keyboard :(\n");
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
}

}  // namespace
}  // namespace model_unpack
