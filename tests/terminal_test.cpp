// The real binary on a real pseudo-terminal: keys, names, signals and the terminal's modes.
// Every wait has a deadline; a child still alive at the end is killed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "model_builder.h"
#include "pty_session.h"
#include "test_support.h"

namespace model_unpack {
namespace {

using namespace std::chrono_literals;
using testing::Clock;
using testing::in_keyboard_mode;
using testing::kDeadline;
using testing::PtySession;
using testing::same_mode;

constexpr const char* kPrompt = "Esc to exit. Press '1' to enter file name\n";

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

// Every signal whose default action ends a process, as this system says: a child restores
// the default action and raises it. SIGKILL cannot be caught; SIGXFSZ the tool ignores on
// purpose; the signals between the classic ones and SIGRTMIN belong to the C library.
std::vector<int> signals_that_end_a_process() {
  std::vector<int> fatal;
  for (int signal_number = 1; signal_number <= SIGRTMAX; ++signal_number) {
    if (signal_number == SIGKILL || signal_number == SIGXFSZ) continue;
    if (signal_number >= 32 && signal_number < SIGRTMIN) continue;
    const pid_t child = fork();
    if (child == 0) {
      signal(signal_number, SIG_DFL);
      sigset_t all;
      sigfillset(&all);
      sigprocmask(SIG_UNBLOCK, &all, nullptr);
      const rlimit no_core{0, 0};
      setrlimit(RLIMIT_CORE, &no_core);
      raise(signal_number);
      _exit(0);
    }
    int status = 0;
    waitpid(child, &status, WUNTRACED);
    if (WIFSTOPPED(status)) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      continue;
    }
    if (WIFSIGNALED(status) && WTERMSIG(status) == signal_number) fatal.push_back(signal_number);
  }
  return fatal;
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

INSTANTIATE_TEST_SUITE_P(EveryFatalSignal, SignalTest,
                         ::testing::ValuesIn(signals_that_end_a_process()));

TEST_F(TerminalTest, ASignalIgnoredByTheParentStaysIgnored) {
  PtySession tool({"/bin/sh", "-c", std::string("trap '' INT; exec ") + MODEL_UNPACK_BINARY});
  ASSERT_TRUE(tool.wait_for(kPrompt));
  ASSERT_TRUE(tool.wait_for_mode(in_keyboard_mode));
  kill(tool.pid(), SIGINT);
  tool.send("\x03");
  std::this_thread::sleep_for(100ms);
  tool.send("\x1b");
  const int status = tool.wait_exit();
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

class BackgroundTest : public TerminalTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(BackgroundTest, StartedInTheBackgroundTheToolLeavesTheTerminalAlone) {
  PtySession shell({GetParam(), "-i"});
  shell.send(std::string(MODEL_UNPACK_BINARY) + " &\n");
  ASSERT_TRUE(shell.wait_for(kPrompt));
  // The shell's own line editor may change the mode at its prompt: ask stty, as a user would.
  const std::size_t from = shell.output().size();
  shell.send("stty -a\n");
  ASSERT_TRUE(shell.wait_for("icanon", from));
  ASSERT_TRUE(shell.wait_for("echoe", from));
  EXPECT_NE(shell.output().find(" icanon ", from), std::string::npos) << shell.output();
  EXPECT_NE(shell.output().find(" echo ", from), std::string::npos) << shell.output();
  shell.send("fg\n");
  // '1' reaches the tool without Enter only in keyboard mode.
  shell.send("1");
  ASSERT_TRUE(shell.wait_for("Enter filename: "));
  shell.send("absent\n");
  ASSERT_TRUE(shell.wait_for("Error opening input file :(\n\n" + std::string(kPrompt)));
  shell.send("\x1b");
  std::this_thread::sleep_for(100ms);
  shell.send("exit\n");
  EXPECT_NE(shell.wait_exit(), -1);
}

INSTANTIATE_TEST_SUITE_P(Shells, BackgroundTest, ::testing::Values("/bin/bash", "/bin/dash"));

TEST_F(TerminalTest, KeysTypedAheadAreHonouredInOrder) {
  testing::ModelBuilder().header("castle").write("castle.zmdl");
  testing::ModelBuilder().header("other").write("other.zmdl");
  PtySession tool({MODEL_UNPACK_BINARY});
  ASSERT_TRUE(tool.wait_for(kPrompt));
  ASSERT_TRUE(tool.wait_for_mode(in_keyboard_mode));
  tool.send("1castle\n1other\n\x1b");
  const int status = tool.wait_exit();
  ASSERT_TRUE(WIFEXITED(status)) << "the tool hung";
  EXPECT_NE(tool.output().find("Header of file: castle\n"), std::string::npos);
  EXPECT_NE(tool.output().find("Header of file: other\n"), std::string::npos);
  EXPECT_TRUE(same_mode(tool.mode(), tool.original()));
}

TEST_F(TerminalTest, ControlCharactersFromTheModelAreMasked) {
  // C1 controls in UTF-8 and alone, a C0 control; well-formed UTF-8 stays.
  testing::ModelBuilder()
      .header(
          "A\xc2\x9b"
          "B\x9b"
          "caf\xc3\xa9\xe2\x82\xac\x01\xe2\x82"
          "x")
      .block("n\xc2\x85\x1b[2J", testing::Payload().u32(0))
      .write("c1.zmdl");
  PtySession tool({MODEL_UNPACK_BINARY});
  ASSERT_TRUE(tool.wait_for(kPrompt));
  tool.send("1");
  ASSERT_TRUE(tool.wait_for("Enter filename: "));
  tool.send("c1\n");
  ASSERT_TRUE(tool.wait_for("Info file created\n"));
  EXPECT_NE(tool.output().find("Header of file: A?B?caf\xc3\xa9\xe2\x82\xac?\xe2?x\n"),
            std::string::npos)
      << tool.output();
  EXPECT_NE(tool.output().find("\nn??[2J   "), std::string::npos);
  tool.send("\x1b");
  ASSERT_NE(tool.wait_exit(), -1);
}

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
